#include "dialogs/myharpsdlg.h"

#include "harmonica/harmonicalayout.h"
#include "harmonica/harpfinder.h"

#include <QDialogButtonBox>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QScrollBar>
#include <QTableWidget>
#include <QVBoxLayout>

#include <algorithm>

namespace reedtab {

namespace {

constexpr int kKeys = 12;
constexpr int kKeyColumnWidth = 34;

// Space ticks the current cell, as a click ticks the cell under the mouse.
class HarpGrid : public QTableWidget {
public:
    HarpGrid(int rows, CMyHarpsDlg* dialog) : QTableWidget(rows, kKeys, dialog), dialog_(dialog) {}

protected:
    void keyPressEvent(QKeyEvent* event) override {
        if (event->key() == Qt::Key_Space && currentRow() >= 0 && currentColumn() >= 0) {
            dialog_->toggle(currentRow(), currentColumn());
            return;
        }
        QTableWidget::keyPressEvent(event);
    }

private:
    CMyHarpsDlg* dialog_;
};

} // namespace

CMyHarpsDlg::CMyHarpsDlg(const std::vector<OwnedHarp>& harps, QWidget* parent)
    : QDialog(parent), tunings_(finderTunings()) {
    setWindowTitle(QStringLiteral("My Harps"));
    const int rows = static_cast<int>(tunings_.size());
    table_ = new HarpGrid(rows, this);
    QStringList keys;
    for (int key = 0; key < kKeys; ++key) {
        keys << QString::fromStdString(HarmonicaLayout::keyName(key));
    }
    table_->setHorizontalHeaderLabels(keys);
    QStringList names;
    for (const std::string& name : tunings_) {
        names << QString::fromStdString(name).trimmed();
    }
    table_->setVerticalHeaderLabels(names);
    table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table_->setSelectionMode(QAbstractItemView::NoSelection);
    for (int row = 0; row < rows; ++row) {
        for (int key = 0; key < kKeys; ++key) {
            // Not checkable by the view itself: a click anywhere in the cell ticks it, once.
            auto* item = new QTableWidgetItem;
            item->setFlags(Qt::ItemIsEnabled);
            item->setData(Qt::CheckStateRole, Qt::Unchecked);
            item->setToolTip(QStringLiteral("%1 in %2").arg(names[row], keys[key]));
            table_->setItem(row, key, item);
        }
    }
    for (const OwnedHarp& harp : harps) {
        const auto found = std::find(tunings_.begin(), tunings_.end(), harp.tuning);
        if (found == tunings_.end()) {
            unknown_.push_back(harp);
        } else {
            table_->item(static_cast<int>(found - tunings_.begin()), harp.key)
                ->setData(Qt::CheckStateRole, Qt::Checked);
        }
    }
    table_->horizontalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    table_->horizontalHeader()->setDefaultSectionSize(kKeyColumnWidth);
    table_->verticalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    table_->setMinimumSize(table_->verticalHeader()->sizeHint().width() + kKeys * kKeyColumnWidth +
                               table_->verticalScrollBar()->sizeHint().width() + 4,
                           360);
    connect(table_, &QTableWidget::cellClicked, this, &CMyHarpsDlg::toggle);

    clear_ = new QPushButton(QStringLiteral("Clear"), this);
    clear_->setAutoDefault(false);
    connect(clear_, &QPushButton::clicked, this, [this] {
        unknown_.clear();
        for (int row = 0; row < table_->rowCount(); ++row) {
            for (int key = 0; key < kKeys; ++key) {
                table_->item(row, key)->setData(Qt::CheckStateRole, Qt::Unchecked);
            }
        }
    });
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->addButton(clear_, QDialogButtonBox::ResetRole);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel(
        QStringLiteral("Tick the harps you own: a row for each tuning, a column for each key."),
        this));
    layout->addWidget(table_, 1);
    layout->addWidget(buttons);
}

void CMyHarpsDlg::toggle(int row, int key) {
    QTableWidgetItem* item = table_->item(row, key);
    if (!item) {
        return;
    }
    const bool ticked = item->data(Qt::CheckStateRole).toInt() == Qt::Checked;
    item->setData(Qt::CheckStateRole, ticked ? Qt::Unchecked : Qt::Checked);
}

std::vector<OwnedHarp> CMyHarpsDlg::harps() const {
    std::vector<OwnedHarp> ticked = unknown_;
    for (int row = 0; row < table_->rowCount(); ++row) {
        for (int key = 0; key < kKeys; ++key) {
            if (table_->item(row, key)->data(Qt::CheckStateRole).toInt() == Qt::Checked) {
                ticked.push_back({tunings_[static_cast<std::size_t>(row)], key});
            }
        }
    }
    return ticked;
}

} // namespace reedtab
