#include "dialogs/programentry.h"

#include "model/midiconstants.h"
#include "model/midievent.h"

#include <QComboBox>

namespace reedtab {

QString programText(int program, int channel) {
    if (channel == kDrumChannel)
        return QString::asprintf("Drumset %d", program);
    return QString::asprintf("%3d %s", program, programName(program));
}

CProgramEntry::CProgramEntry(QWidget* parent) : CPosEntry(parent) {
    programs_ = new QComboBox(this);
    programs_->setMaxVisibleItems(20);
    addField(QStringLiteral("Program"), programs_);
    setProgram(-1, 0);
}

void CProgramEntry::setProgram(int program, int channel) {
    programs_->clear();
    for (int p = 0; p < kProgramCount; ++p) {
        programs_->addItem(channel == kDrumChannel
                               ? QString::asprintf("Drumset %d", p)
                               : QString::asprintf("%03d %s", p, programName(p)));
    }
    const bool existing = program >= 0 && program < kProgramCount;
    programs_->setCurrentIndex(existing ? program : 0);
    setPositionEnabled(!existing);
}

int CProgramEntry::program() const {
    return programs_->currentIndex();
}

} // namespace reedtab
