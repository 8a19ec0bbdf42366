#pragma once

// "My Harps": the harmonicas the player owns, chosen on a grid of every tuning the harp finder
// ranks against the twelve keys; a click on a cell (or Space on the current one) ticks it.

#include "settings/settings.h"

#include <QDialog>

#include <string>
#include <vector>

class QPushButton;
class QTableWidget;

namespace reedtab {

class CMyHarpsDlg : public QDialog {
    Q_OBJECT
public:
    /// Starts with `harps` ticked.
    explicit CMyHarpsDlg(const std::vector<OwnedHarp>& harps, QWidget* parent = nullptr);

    /// The ticked harps, row by row and key by key; harps of the list given whose tuning the
    /// grid does not show (a tuning this program does not know) are kept in front of them.
    std::vector<OwnedHarp> harps() const;
    /// Ticks or clears the cell of a tuning row and a key (pitch class) column.
    void toggle(int row, int key);

    QTableWidget* table() const { return table_; }
    QPushButton* clearButton() const { return clear_; }

private:
    std::vector<std::string> tunings_;
    std::vector<OwnedHarp> unknown_;
    QTableWidget* table_ = nullptr;
    QPushButton* clear_ = nullptr;
};

} // namespace reedtab
