#pragma once

// The options sheet "Reedtab Midi Options": the General page (MIDI devices, note names, fonts,
// display and player switches, the desktop's mixer, the built-in synthesizer's SoundFont), the
// Print page, the Lyrics page and the Listening page (listenoptions.h). Each
// page edits a copy of the settings it shows; OK and Apply put the changed values into the
// settings block, save their group and make the program use them at once. Cancel changes
// nothing.
//
// Threads: the user-interface thread.

#include "settings/settings.h"

#include <QDialog>
#include <QString>
#include <QWidget>

#include <functional>
#include <optional>
#include <string>
#include <vector>

class QCheckBox;
class QComboBox;
class QDialogButtonBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QSpinBox;
class QTabWidget;

namespace reedtab {

class CMainFrame;
class CPropListening;

// The font, colour and file dialogs of the pages; tests answer them without a screen.
struct OptionsChoosers {
    // The chosen font, or nothing when the user cancelled.
    std::function<std::optional<FontSpec>(const FontSpec& current, QWidget* parent)> font;
    std::function<std::optional<Rgb>(const Rgb& current, QWidget* parent)> colour;
    // The SoundFont file chosen, starting from the current one ("" for the default).
    std::function<std::optional<std::string>(const std::string& current, QWidget* parent)>
        soundFont;
};

// The filter of the SoundFont file dialog.
inline constexpr const char* kSoundFontFilter = "SoundFonts (*.sf2 *.sf3);;All Files (*)";

// The desktop's mixer program, or empty when none is installed.
QString mixerProgram();

// The toolkit's colour dialog; none when cancelled.
std::optional<Rgb> colourDialog(const Rgb& current, QWidget* parent);
// "#rrggbb" of a colour, for a style sheet.
QString colourName(const Rgb& colour);

// A page of the sheet: it marks itself modified on every change and applies its changes on
// confirmation.
class COptionsPage : public QWidget {
    Q_OBJECT
public:
    using QWidget::QWidget;
    bool isModified() const { return modified_; }
    // Puts the page's changes into effect and clears the modified mark.
    virtual void apply() = 0;

signals:
    void changed();

protected:
    void setModified();
    bool modified_ = false;
};

class CPropGeneral : public COptionsPage {
    Q_OBJECT
public:
    CPropGeneral(CMainFrame& frame, const std::vector<std::string>& outputDevices,
                 const std::vector<std::string>& inputDevices, const OptionsChoosers& choosers,
                 QWidget* parent = nullptr);
    void apply() override;

    QComboBox* outputList() const { return output_; }
    QComboBox* inputList() const { return input_; }
    QComboBox* schemeList() const { return scheme_; }
    QPushButton* tabFontButton() const { return tabFontButton_; }
    QPushButton* textFontButton() const { return textFontButton_; }
    QLabel* tabFontSample() const { return tabSample_; }
    QLabel* textFontSample() const { return textSample_; }
    QCheckBox* pitchBendsBox() const { return pitchBends_; }
    QCheckBox* drumsBox() const { return drums_; }
    QCheckBox* snapBox() const { return snap_; }
    QCheckBox* expressionBox() const { return expression_; }
    QPushButton* volumeButton() const { return volume_; }
    // The built-in synthesizer's SoundFont: the file, its chooser, the way back to the
    // system's default, and the note shown when a new one waits for the next start.
    QLineEdit* soundFontLine() const { return soundFontLine_; }
    QPushButton* soundFontBrowseButton() const { return soundFontBrowse_; }
    QPushButton* soundFontDefaultButton() const { return soundFontDefault_; }
    QLabel* soundFontNote() const { return soundFontNote_; }

private:
    void chooseFont(FontSpec& spec, QLabel* sample);
    void displayChange();
    QGroupBox* makeSoundFontBox();
    void chooseSoundFont();
    void setSoundFont(const std::string& path);

    CMainFrame& frame_;
    const OptionsChoosers& choosers_;
    Settings copy_;
    bool displayChanged_ = false;
    bool outputChanged_ = false;
    bool inputChanged_ = false;
    QString mixer_;
    QComboBox* output_ = nullptr;
    QComboBox* input_ = nullptr;
    QComboBox* scheme_ = nullptr;
    QPushButton* tabFontButton_ = nullptr;
    QPushButton* textFontButton_ = nullptr;
    QLabel* tabSample_ = nullptr;
    QLabel* textSample_ = nullptr;
    QCheckBox* pitchBends_ = nullptr;
    QCheckBox* drums_ = nullptr;
    QCheckBox* snap_ = nullptr;
    QCheckBox* expression_ = nullptr;
    QPushButton* volume_ = nullptr;
    std::string soundFont_;
    bool soundFontChanged_ = false;
    QLineEdit* soundFontLine_ = nullptr;
    QPushButton* soundFontBrowse_ = nullptr;
    QPushButton* soundFontDefault_ = nullptr;
    QLabel* soundFontNote_ = nullptr;
};

class CPrintOptions : public COptionsPage {
    Q_OBJECT
public:
    explicit CPrintOptions(CMainFrame& frame, QWidget* parent = nullptr);
    void apply() override;

    QCheckBox* trebleBox() const { return treble_; }
    QCheckBox* bassBox() const { return bass_; }
    QCheckBox* noColorBarsBox() const { return noColorBars_; }
    QSpinBox* beatsPerLineBox() const { return beatsPerLine_; }

private:
    CMainFrame& frame_;
    QCheckBox* treble_ = nullptr;
    QCheckBox* bass_ = nullptr;
    QCheckBox* noColorBars_ = nullptr;
    QSpinBox* beatsPerLine_ = nullptr;
};

class CPropLyrics : public COptionsPage {
    Q_OBJECT
public:
    CPropLyrics(CMainFrame& frame, const OptionsChoosers& choosers, QWidget* parent = nullptr);
    void apply() override;

    QPushButton* fontButton() const { return fontButton_; }
    QPushButton* textColourButton() const { return textColourButton_; }
    QPushButton* backgroundButton() const { return backgroundButton_; }
    QLabel* fontSample() const { return fontSample_; }
    QLabel* textColourLabel() const { return textColourLabel_; }
    QLabel* backgroundLabel() const { return backgroundLabel_; }

private:
    void chooseColour(Rgb& colour);
    void showColours();

    CMainFrame& frame_;
    const OptionsChoosers& choosers_;
    Settings copy_;
    QPushButton* fontButton_ = nullptr;
    QPushButton* textColourButton_ = nullptr;
    QPushButton* backgroundButton_ = nullptr;
    QLabel* fontSample_ = nullptr;
    QLabel* textColourLabel_ = nullptr;
    QLabel* backgroundLabel_ = nullptr;
};

// The sheet: the three pages with OK, Cancel and Apply (available once a page changed).
class CProperties : public QDialog {
    Q_OBJECT
public:
    // Without `choosers` the pages use the toolkit's font and colour dialogs.
    CProperties(CMainFrame& frame, const std::vector<std::string>& outputDevices,
                const std::vector<std::string>& inputDevices,
                OptionsChoosers choosers = OptionsChoosers{}, QWidget* parent = nullptr);

    CPropGeneral& general() const { return *general_; }
    CPrintOptions& print() const { return *print_; }
    CPropLyrics& lyrics() const { return *lyrics_; }
    CPropListening& listening() const { return *listening_; }
    QTabWidget* pages() const { return tabs_; }
    QPushButton* okButton() const;
    QPushButton* cancelButton() const;
    QPushButton* applyButton() const;

private:
    void applyPages();

    OptionsChoosers choosers_;
    QTabWidget* tabs_ = nullptr;
    CPropGeneral* general_ = nullptr;
    CPrintOptions* print_ = nullptr;
    CPropLyrics* lyrics_ = nullptr;
    CPropListening* listening_ = nullptr;
    QDialogButtonBox* buttons_ = nullptr;
};

} // namespace reedtab
