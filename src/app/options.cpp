#include "app/options.h"

#include "app/listenoptions.h"
#include "app/mainframe.h"
#include "app/soundfontswitch.h"
#include "harmonica/notation.h"
#include "playback/midiinput.h"
#include "playback/outputdevice.h"
#include "playback/streamplayer.h"
#include "transport/transport.h"
#include "ui/transporthub.h"
#include "view/songpainter.h"

#include <QCheckBox>
#include <QColorDialog>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QFontDialog>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QSpinBox>
#include <QStandardPaths>
#include <QTabWidget>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>

namespace reedtab {

namespace {

constexpr int kFaceNameLength = 31;
constexpr int kSchemeCount = 5;
constexpr int kLabelFontPixels = 11;
constexpr double kPixelsPerPoint = 96.0 / 72.0;
constexpr int kSoundFontLineChars = 60;

FontSpec specOfFont(const QFont& font) {
    FontSpec spec;
    spec.faceName = font.family().left(kFaceNameLength).toStdString();
    const int pixels = font.pixelSize() > 0
                           ? font.pixelSize()
                           : static_cast<int>(std::lround(font.pointSizeF() * kPixelsPerPoint));
    spec.height = -std::max(1, pixels);
    spec.weight = font.weight();
    spec.italic = font.italic();
    return spec;
}

std::optional<FontSpec> fontDialog(const FontSpec& current, QWidget* parent) {
    bool ok = false;
    const QFont font = QFontDialog::getFont(&ok, fontFromSpec(current), parent);
    if (!ok) {
        return std::nullopt;
    }
    return specOfFont(font);
}

std::optional<std::string> soundFontDialog(const std::string& current, QWidget* parent) {
    const std::string start = current.empty() ? SynthOutput::defaultSoundFont() : current;
    const QString folder =
        start.empty() ? QString() : QFileInfo(QString::fromStdString(start)).absolutePath();
    const QString path =
        QFileDialog::getOpenFileName(parent, QStringLiteral("Choose a SoundFont"), folder,
                                     QString::fromLatin1(kSoundFontFilter));
    if (path.isEmpty()) {
        return std::nullopt;
    }
    return path.toStdString();
}

QCheckBox* checkBox(const char* text, bool checked, QWidget* parent) {
    auto* box = new QCheckBox(QString::fromLatin1(text), parent);
    box->setChecked(checked);
    return box;
}

QComboBox* deviceList(const std::vector<std::string>& names, QWidget* parent) {
    auto* list = new QComboBox(parent);
    for (const auto& name : names) {
        list->addItem(QString::fromStdString(name));
    }
    return list;
}

} // namespace

std::optional<Rgb> colourDialog(const Rgb& current, QWidget* parent) {
    const QColor colour =
        QColorDialog::getColor(QColor(current.red, current.green, current.blue), parent);
    if (!colour.isValid()) {
        return std::nullopt;
    }
    return Rgb{static_cast<std::uint8_t>(colour.red()), static_cast<std::uint8_t>(colour.green()),
               static_cast<std::uint8_t>(colour.blue())};
}

QString colourName(const Rgb& colour) {
    return QColor(colour.red, colour.green, colour.blue).name();
}

QString mixerProgram() {
    static const char* const mixers[] = {"pavucontrol", "pavucontrol-qt", "kmix",
                                         "mate-volume-control", "xfce4-mixer"};
    for (const char* name : mixers) {
        const QString path = QStandardPaths::findExecutable(QString::fromLatin1(name));
        if (!path.isEmpty()) {
            return path;
        }
    }
    return {};
}

void COptionsPage::setModified() {
    modified_ = true;
    emit changed();
}

// ---- General ----

CPropGeneral::CPropGeneral(CMainFrame& frame, const std::vector<std::string>& outputDevices,
                           const std::vector<std::string>& inputDevices,
                           const OptionsChoosers& choosers, QWidget* parent)
    : COptionsPage(parent), frame_(frame), choosers_(choosers), copy_(settings()),
      mixer_(mixerProgram()) {
    output_ = deviceList(outputDevices, this);
    output_->setCurrentIndex(std::min(copy_.outputDeviceIndex + 1, output_->count() - 1));
    std::vector<std::string> inputs{kNoMidiInputName};
    inputs.insert(inputs.end(), inputDevices.begin(), inputDevices.end());
    input_ = deviceList(inputs, this);
    input_->setCurrentIndex(std::clamp(copy_.inputDeviceIndex + 1, 0, input_->count() - 1));
    input_->setEnabled(!inputDevices.empty());
    scheme_ = new QComboBox(this);
    for (int scheme = 0; scheme < kSchemeCount; ++scheme) {
        scheme_->addItem(QString::fromStdString(schemeTitle(scheme)));
    }
    scheme_->setCurrentIndex(std::clamp(copy_.musicNoteType, 0, kSchemeCount - 1));

    tabFontButton_ = new QPushButton(QStringLiteral("Tablature Font..."), this);
    textFontButton_ = new QPushButton(QStringLiteral("Text Font..."), this);
    tabSample_ = new QLabel(QStringLiteral("Tablature Font"), this);
    tabSample_->setFont(fontFromSpec(copy_.fontTab));
    textSample_ = new QLabel(QStringLiteral("Text Events Font"), this);
    textSample_->setFont(fontFromSpec(copy_.fontText));
    pitchBends_ = checkBox("Show MIDI pitch bends", copy_.showPitchBends, this);
    drums_ = checkBox("Show drums notes", copy_.showDrumsNotes, this);
    snap_ = checkBox("Snap mouse time position", copy_.editSnap, this);
    expression_ = checkBox("Change MIDI Expression to Vol", copy_.changeExpr2Vol, this);
    volume_ = new QPushButton(QStringLiteral("Open System Volume Control"), this);
    volume_->setEnabled(!mixer_.isEmpty());

    auto* grid = new QGridLayout(this);
    grid->addWidget(new QLabel(QStringLiteral("Midi Out"), this), 0, 0);
    grid->addWidget(output_, 0, 1);
    grid->addWidget(new QLabel(QStringLiteral("Midi In"), this), 1, 0);
    grid->addWidget(input_, 1, 1);
    grid->addWidget(scheme_, 2, 1);
    grid->addWidget(tabFontButton_, 3, 0);
    grid->addWidget(tabSample_, 3, 1);
    grid->addWidget(textFontButton_, 4, 0);
    grid->addWidget(textSample_, 4, 1);
    grid->addWidget(pitchBends_, 5, 0, 1, 2);
    grid->addWidget(drums_, 6, 0, 1, 2);
    grid->addWidget(snap_, 7, 0, 1, 2);
    grid->addWidget(expression_, 8, 0, 1, 2);
    grid->addWidget(volume_, 9, 0, 1, 2);
    grid->addWidget(makeSoundFontBox(), 10, 0, 1, 2);
    grid->setRowStretch(11, 1);

    connect(output_, &QComboBox::currentIndexChanged, this, [this] {
        outputChanged_ = true;
        setModified();
    });
    connect(input_, &QComboBox::currentIndexChanged, this, [this] {
        inputChanged_ = true;
        setModified();
    });
    connect(scheme_, &QComboBox::currentIndexChanged, this, [this] { displayChange(); });
    for (QCheckBox* box : {pitchBends_, drums_, snap_, expression_}) {
        connect(box, &QCheckBox::toggled, this, [this] { displayChange(); });
    }
    connect(tabFontButton_, &QPushButton::clicked, this,
            [this] { chooseFont(copy_.fontTab, tabSample_); });
    connect(textFontButton_, &QPushButton::clicked, this,
            [this] { chooseFont(copy_.fontText, textSample_); });
    connect(volume_, &QPushButton::clicked, this, [this] { QProcess::startDetached(mixer_, {}); });
}

// ---- General: the SoundFont ----

QGroupBox* CPropGeneral::makeSoundFontBox() {
    auto* box = new QGroupBox(QStringLiteral("SoundFont of the built-in synthesizer"), this);
    soundFontLine_ = new QLineEdit(box);
    soundFontLine_->setReadOnly(true);
    soundFontBrowse_ = new QPushButton(QStringLiteral("Browse..."), box);
    soundFontDefault_ = new QPushButton(QStringLiteral("System Default"), box);
    soundFontNote_ = new QLabel(QStringLiteral("A new SoundFont is read at the next start."), box);
    soundFontNote_->setVisible(!frame_.soundFonts().changesWhileRunning());
    // Wide enough for the system's SoundFont path, which is what a reader looks for.
    soundFontLine_->setMinimumWidth(kSoundFontLineChars * fontMetrics().averageCharWidth());
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(soundFontBrowse_);
    buttons->addWidget(soundFontDefault_);
    auto* column = new QVBoxLayout(box);
    column->addWidget(soundFontLine_);
    column->addLayout(buttons);
    column->addWidget(soundFontNote_);
    soundFont_ = copy_.soundFont;
    setSoundFont(soundFont_);
    connect(soundFontBrowse_, &QPushButton::clicked, this, [this] { chooseSoundFont(); });
    connect(soundFontDefault_, &QPushButton::clicked, this, [this] {
        setSoundFont({});
        soundFontChanged_ = true;
        setModified();
    });
    return box;
}

// A file that is no SoundFont is refused at once, before the sheet is confirmed; one that
// only fails to load says so when the synthesizer has tried it.
void CPropGeneral::chooseSoundFont() {
    const auto chosen = choosers_.soundFont ? choosers_.soundFont(soundFont_, this)
                                            : soundFontDialog(soundFont_, this);
    if (!chosen) {
        return;
    }
    const int check = SynthOutput::checkSoundFont(*chosen);
    if (check != SoundFontLoaded) {
        frame_.messageBox(soundFontFailureText(*chosen, check), "Reedtab Midi",
                          MessageIcon::Warning);
        return;
    }
    setSoundFont(*chosen);
    soundFontChanged_ = true;
    setModified();
}

void CPropGeneral::setSoundFont(const std::string& path) {
    soundFont_ = path;
    const std::string system = SynthOutput::defaultSoundFont();
    const QString text =
        !path.empty()    ? QString::fromStdString(path)
        : system.empty() ? QStringLiteral("System default (none installed)")
                         : QStringLiteral("System default: %1").arg(QString::fromStdString(system));
    soundFontLine_->setText(text);
    soundFontLine_->setToolTip(text);
    soundFontLine_->setCursorPosition(0);
}

void CPropGeneral::displayChange() {
    displayChanged_ = true;
    setModified();
}

void CPropGeneral::chooseFont(FontSpec& spec, QLabel* sample) {
    const auto chosen = choosers_.font ? choosers_.font(spec, this) : fontDialog(spec, this);
    if (!chosen) {
        return;
    }
    spec = *chosen;
    sample->setFont(fontFromSpec(spec));
    displayChange();
}

void CPropGeneral::apply() {
    Settings& block = settings();
    SettingsStore& store = frame_.store();
    if (displayChanged_) {
        block.fontTab = copy_.fontTab;
        block.fontText = copy_.fontText;
        block.musicNoteType = scheme_->currentIndex();
        block.showPitchBends = pitchBends_->isChecked();
        block.showDrumsNotes = drums_->isChecked();
        block.changeExpr2Vol = expression_->isChecked();
        block.editSnap = snap_->isChecked();
        saveSettings(store, kSaveFonts | kSavePlayer);
        frame_.playbackOptionsChanged();
        frame_.displayOptionsChanged();
        displayChanged_ = false;
    }
    if (outputChanged_) {
        block.outputDeviceIndex = output_->currentIndex() - 1;
        Transport& transport = frame_.transport();
        const bool wasPlaying = transport.isPlaying();
        if (wasPlaying) {
            frame_.player().stop(false);
        }
        saveSettings(store, kSavePlayer);
        // A device that will not open leaves the player closed; the start that follows (now
        // when it was playing, else the next Play) reports it.
        static_cast<void>(transport.openOutput(block.outputDeviceIndex));
        if (wasPlaying) {
            emit frame_.resumeRequested();
        }
        outputChanged_ = false;
    }
    if (inputChanged_) {
        MidiInput& input = frame_.input();
        input.closeInput();
        block.inputDeviceIndex = input_->currentIndex() - 1;
        saveSettings(store, kSavePlayer);
        if (block.inputDeviceIndex != -1 &&
            input.openInput(block.inputDeviceIndex, &frame_.hub()) != 0) {
            frame_.messageBox("Cannot open Midi input device", "Reedtab Midi", MessageIcon::Error);
        }
        inputChanged_ = false;
    }
    if (soundFontChanged_) {
        frame_.soundFonts().change(soundFont_);
        soundFontChanged_ = false;
    }
    modified_ = false;
}

// ---- Print ----

CPrintOptions::CPrintOptions(CMainFrame& frame, QWidget* parent)
    : COptionsPage(parent), frame_(frame) {
    const Settings& block = settings();
    treble_ = checkBox("Treble Clef", block.printTrebleClef, this);
    bass_ = checkBox("Bass Clef", block.printBassClef, this);
    noColorBars_ = checkBox("No color bars", block.printNoColorBars, this);
    beatsPerLine_ = new QSpinBox(this);
    beatsPerLine_->setRange(1, 48);
    beatsPerLine_->setValue(std::clamp(block.printBeatsPerLine, 1, 48));

    auto* form = new QFormLayout(this);
    form->addRow(treble_);
    form->addRow(bass_);
    form->addRow(noColorBars_);
    form->addRow(QStringLiteral("Beats per timeline"), beatsPerLine_);

    for (QCheckBox* box : {treble_, bass_, noColorBars_}) {
        connect(box, &QCheckBox::toggled, this, [this] { setModified(); });
    }
    connect(beatsPerLine_, &QSpinBox::valueChanged, this, [this] { setModified(); });
}

void CPrintOptions::apply() {
    if (!modified_) {
        return;
    }
    Settings& block = settings();
    block.printTrebleClef = treble_->isChecked();
    block.printBassClef = bass_->isChecked();
    block.printNoColorBars = noColorBars_->isChecked();
    block.printBeatsPerLine = beatsPerLine_->value();
    saveSettings(frame_.store(), kSavePrint);
    modified_ = false;
}

// ---- Lyrics ----

CPropLyrics::CPropLyrics(CMainFrame& frame, const OptionsChoosers& choosers, QWidget* parent)
    : COptionsPage(parent), frame_(frame), choosers_(choosers), copy_(settings()) {
    fontButton_ = new QPushButton(QStringLiteral("Lyrics Font..."), this);
    fontSample_ = new QLabel(QStringLiteral("Lyrics Font"), this);
    fontSample_->setFont(fontFromSpec(copy_.fontLyrics));
    textColourButton_ = new QPushButton(QStringLiteral("Lyrics Color..."), this);
    backgroundButton_ = new QPushButton(QStringLiteral("Background..."), this);
    QFont labelFont(QStringLiteral("Arial"));
    labelFont.setPixelSize(kLabelFontPixels);
    labelFont.setBold(true);
    textColourLabel_ = new QLabel(QStringLiteral("Lyrics Text Color"), this);
    textColourLabel_->setFont(labelFont);
    backgroundLabel_ = new QLabel(QStringLiteral("Background Color"), this);
    backgroundLabel_->setFont(labelFont);
    showColours();

    auto* grid = new QGridLayout(this);
    grid->addWidget(fontButton_, 0, 0);
    grid->addWidget(fontSample_, 0, 1);
    grid->addWidget(textColourButton_, 1, 0);
    grid->addWidget(textColourLabel_, 1, 1);
    grid->addWidget(backgroundButton_, 2, 0);
    grid->addWidget(backgroundLabel_, 2, 1);
    grid->setRowStretch(3, 1);

    connect(fontButton_, &QPushButton::clicked, this, [this] {
        const auto chosen = choosers_.font ? choosers_.font(copy_.fontLyrics, this)
                                           : fontDialog(copy_.fontLyrics, this);
        if (chosen) {
            copy_.fontLyrics = *chosen;
            fontSample_->setFont(fontFromSpec(copy_.fontLyrics));
            setModified();
        }
    });
    connect(textColourButton_, &QPushButton::clicked, this,
            [this] { chooseColour(copy_.fontLyricsTxt); });
    connect(backgroundButton_, &QPushButton::clicked, this,
            [this] { chooseColour(copy_.fontLyricsBg); });
}

void CPropLyrics::chooseColour(Rgb& colour) {
    const auto chosen =
        choosers_.colour ? choosers_.colour(colour, this) : colourDialog(colour, this);
    if (!chosen) {
        return;
    }
    colour = *chosen;
    showColours();
    setModified();
}

void CPropLyrics::showColours() {
    textColourLabel_->setStyleSheet(
        QStringLiteral("color: %1;").arg(colourName(copy_.fontLyricsTxt)));
    backgroundLabel_->setStyleSheet(
        QStringLiteral("color: %1;").arg(colourName(copy_.fontLyricsBg)));
}

void CPropLyrics::apply() {
    if (!modified_) {
        return;
    }
    Settings& block = settings();
    block.fontLyrics = copy_.fontLyrics;
    block.fontLyricsTxt = copy_.fontLyricsTxt;
    block.fontLyricsBg = copy_.fontLyricsBg;
    saveSettings(frame_.store(), kSaveLyrics);
    emit frame_.lyricsSettingsChanged();
    modified_ = false;
}

// ---- The sheet ----

CProperties::CProperties(CMainFrame& frame, const std::vector<std::string>& outputDevices,
                         const std::vector<std::string>& inputDevices, OptionsChoosers choosers,
                         QWidget* parent)
    : QDialog(parent ? parent : &frame), choosers_(std::move(choosers)) {
    setWindowTitle(QStringLiteral("Reedtab Midi Options"));
    tabs_ = new QTabWidget(this);
    general_ = new CPropGeneral(frame, outputDevices, inputDevices, choosers_, tabs_);
    print_ = new CPrintOptions(frame, tabs_);
    lyrics_ = new CPropLyrics(frame, choosers_, tabs_);
    tabs_->addTab(general_, QStringLiteral("General"));
    tabs_->addTab(print_, QStringLiteral("Print"));
    tabs_->addTab(lyrics_, QStringLiteral("Lyrics"));
    listening_ = new CPropListening(frame, choosers_, tabs_);
    tabs_->addTab(listening_, QStringLiteral("Listening"));
    buttons_ = new QDialogButtonBox(
        QDialogButtonBox::Ok | QDialogButtonBox::Cancel | QDialogButtonBox::Apply, this);
    applyButton()->setEnabled(false);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(tabs_);
    layout->addWidget(buttons_);

    for (COptionsPage* page :
         std::initializer_list<COptionsPage*>{general_, print_, lyrics_, listening_}) {
        connect(page, &COptionsPage::changed, this, [this] { applyButton()->setEnabled(true); });
    }
    connect(okButton(), &QPushButton::clicked, this, [this] {
        applyPages();
        accept();
    });
    connect(cancelButton(), &QPushButton::clicked, this, &QDialog::reject);
    connect(applyButton(), &QPushButton::clicked, this, [this] {
        applyPages();
        applyButton()->setEnabled(false);
    });
}

QPushButton* CProperties::okButton() const {
    return buttons_->button(QDialogButtonBox::Ok);
}

QPushButton* CProperties::cancelButton() const {
    return buttons_->button(QDialogButtonBox::Cancel);
}

QPushButton* CProperties::applyButton() const {
    return buttons_->button(QDialogButtonBox::Apply);
}

void CProperties::applyPages() {
    general_->apply();
    print_->apply();
    lyrics_->apply();
    listening_->apply();
}

} // namespace reedtab
