#include "app/listenoptions.h"

#include "app/mainframe.h"
#include "listen/audioinput.h"
#include "view/reedtabview.h"

#include <QComboBox>
#include <QGridLayout>
#include <QLabel>
#include <QPushButton>
#include <QSpinBox>

namespace reedtab {

namespace {

struct ColourField {
    const char* button;
    const char* label;
    Rgb Settings::*field;
};
constexpr ColourField kColours[] = {
    {"Hit...", "Notes played right", &Settings::colorHit},
    {"Wrong...", "Notes played wrong", &Settings::colorWrong},
    {"Missed...", "Notes not played", &Settings::colorMissed},
    {"Heard...", "The hole heard, in the harmonica windows", &Settings::colorHeard},
};

QSpinBox* spinBox(int low, int high, int value, const QString& suffix, QWidget* parent) {
    auto* box = new QSpinBox(parent);
    box->setRange(low, high);
    box->setValue(value);
    box->setSuffix(suffix);
    return box;
}

} // namespace

CPropListening::CPropListening(CMainFrame& frame, const OptionsChoosers& choosers, QWidget* parent)
    : COptionsPage(parent), frame_(frame), choosers_(choosers), copy_(settings()) {
    input_ = new QComboBox(this);
    input_->addItem(QStringLiteral("Default input"), QString());
    for (const std::string& name : captureDeviceNames()) {
        input_->addItem(QString::fromStdString(name), QString::fromStdString(name));
    }
    const QString stored = QString::fromStdString(copy_.listenInput);
    if (input_->findData(stored) < 0) {
        input_->addItem(stored + QStringLiteral(" (not found)"), stored);
    }
    input_->setCurrentIndex(input_->findData(stored));
    concertPitch_ = spinBox(430, 450, copy_.concertPitch, QStringLiteral(" Hz"), this);
    tolerance_ = spinBox(10, 100, copy_.listenTolerance, QStringLiteral(" cents"), this);
    offset_ = spinBox(-500, 500, copy_.listenOffsetMs, QStringLiteral(" ms"), this);

    auto* grid = new QGridLayout(this);
    int row = 0;
    const auto addRow = [&](const char* text, QWidget* field) {
        grid->addWidget(new QLabel(QString::fromLatin1(text), this), row, 0);
        grid->addWidget(field, row++, 1);
    };
    addRow("Input device:", input_);
    addRow("Concert pitch (A4):", concertPitch_);
    addRow("Tolerance:", tolerance_);
    addRow("Latency offset:", offset_);
    for (int i = 0; i < 4; ++i) {
        colourButtons_[i] = new QPushButton(QString::fromLatin1(kColours[i].button), this);
        colourLabels_[i] = new QLabel(QString::fromLatin1(kColours[i].label), this);
        grid->addWidget(colourButtons_[i], row, 0);
        grid->addWidget(colourLabels_[i], row++, 1);
        connect(colourButtons_[i], &QPushButton::clicked, this, [this, i] {
            Rgb& colour = copy_.*kColours[i].field;
            const auto chosen =
                choosers_.colour ? choosers_.colour(colour, this) : colourDialog(colour, this);
            if (chosen) {
                colour = *chosen;
                showColours();
                setModified();
            }
        });
    }
    grid->addWidget(new QLabel(QStringLiteral("The latency offset is added to the round trip "
                                              "the Listen window's Calibrate measured."),
                               this),
                    row++, 0, 1, 2);
    grid->setRowStretch(row, 1);
    showColours();

    connect(input_, &QComboBox::activated, this, [this] { setModified(); });
    for (QSpinBox* box : {concertPitch_, tolerance_, offset_}) {
        connect(box, &QSpinBox::valueChanged, this, [this] { setModified(); });
    }
}

void CPropListening::showColours() {
    for (int i = 0; i < 4; ++i) {
        colourLabels_[i]->setStyleSheet(QStringLiteral("color: %1; font-weight: bold;")
                                            .arg(colourName(copy_.*kColours[i].field)));
    }
}

void CPropListening::apply() {
    if (!modified_) {
        return;
    }
    Settings& block = settings();
    block.listenInput = input_->currentData().toString().toStdString();
    block.concertPitch = concertPitch_->value();
    block.listenTolerance = tolerance_->value();
    block.listenOffsetMs = offset_->value();
    for (const ColourField& colour : kColours) {
        block.*colour.field = copy_.*colour.field;
    }
    saveSettings(frame_.store(), kSaveListen);
    frame_.view().repaintView();
    modified_ = false;
}

} // namespace reedtab
