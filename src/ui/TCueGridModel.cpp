#include "TCueGridModel.h"

#include "TAudioLengthProbe.h"
#include "TCueCellEdit.h"
#include "TCueCellText.h"
#include "TCueLengths.h"
#include "TCueTimeCell.h"
#include "TImageList.h"
#include "TOutputNames.h"

#include <QColor>
#include <QIcon>
#include <QLinearGradient>
#include <QPainter>
#include <QPixmap>

#include <algorithm>
#include <array>
#include <cmath>
#include <optional>
#include <set>

namespace {

// Dark enough to read on white, apart from the selection colours.
const QColor MissingFileColour(0xB0, 0x3A, 0x00);

struct TColumnInfo {
    const char* Header;
    Qt::Alignment Alignment;
};

constexpr std::array<TColumnInfo, ccColumnCount> Columns = {{
    {"Description", Qt::AlignLeft},
    {"Filename", Qt::AlignLeft},
    {"Volume", Qt::AlignHCenter},
    {"Pan", Qt::AlignHCenter},
    {"Pitch", Qt::AlignHCenter},
    {"Loop", Qt::AlignHCenter},
    {"Output", Qt::AlignLeft},
    {"Time", Qt::AlignRight},
    {"Fade In", Qt::AlignHCenter},
    {"Fade Out", Qt::AlignHCenter},
    {"Pre-wait", Qt::AlignHCenter},
    {"Post-wait", Qt::AlignHCenter},
    {"Continue", Qt::AlignLeft},
}};

QVariant Alignment(int col) {
    return QVariant::fromValue(Columns[static_cast<size_t>(col)].Alignment | Qt::AlignVCenter);
}

QVariant DisplayText(const TCue& cue, int col) {
    switch (col) {
    case ccDescription:
        return QString::fromStdString(cue.Description);
    case ccFileName:
        return QString::fromStdString(cue.FileName);
    case ccVolume:
        return QString::number(cue.VolumeDB()) + QStringLiteral("dB");
    case ccPan:
        return QString::number(cue.Pan());
    case ccPitch:
        return QString::number(cue.Pitch());
    case ccFadeIn:
        return TCueCellText::Fade(cue.FadeIn());
    case ccFadeOut:
        return TCueCellText::Fade(cue.FadeOut());
    case ccPreWait:
        return TCueCellText::Fade(cue.PreWait());
    case ccPostWait:
        return TCueCellText::Fade(cue.PostWait());
    case ccContinue:
        return TCueCellText::Continue(cue.Continue(), cue.Loop);
    default:
        return {};
    }
}

QVariant EditValue(const TCue& cue, int col) {
    switch (col) {
    case ccVolume:
        return cue.VolumeDB();
    case ccPan:
        return cue.Pan();
    case ccPitch:
        return cue.Pitch();
    case ccOutput:
        return cue.AudioChannel();
    case ccFadeIn:
        return cue.FadeIn() / 10.0;
    case ccFadeOut:
        return cue.FadeOut() / 10.0;
    case ccPreWait:
        return cue.PreWait() / 10.0;
    case ccPostWait:
        return cue.PostWait() / 10.0;
    case ccContinue:
        return static_cast<int>(cue.Continue());
    default:
        return DisplayText(cue, col);
    }
}

QIcon FadingPicture(const QIcon& playing) {
    QPixmap picture = playing.pixmap(16, 16);
    QPainter painter(&picture);
    painter.setCompositionMode(QPainter::CompositionMode_DestinationIn);
    QLinearGradient fade(0, 0, picture.width(), 0);
    fade.setColorAt(0, QColor(0, 0, 0, 255));
    fade.setColorAt(1, QColor(0, 0, 0, 40));
    painter.fillRect(picture.rect(), fade);
    painter.end();
    return QIcon(picture);
}

} // namespace

TCueGridModel::TCueGridModel(TCueListSource cues, const TImageList& images, QObject* parent)
    : QAbstractTableModel(parent), FCues(std::move(cues)), FImages(images),
      FFadingPicture(FadingPicture(images.Icon(csPlaying))),
      FLengths(new TCueLengths(&TAudioLengthProbe::Probe, this)), FOutputs(new TOutputNames(this)) {
    connect(FLengths, &TCueLengths::LengthFound, this, &TCueGridModel::RefreshFile);
    connect(FOutputs, &TOutputNames::Changed, this, [this] { RefreshColumn(ccOutput); });
}

int TCueGridModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : FRowCount;
}

int TCueGridModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : ccColumnCount;
}

TCue* TCueGridModel::CueOfRow(int32_t row) const {
    const TCueList* cues = FCues();
    return cues ? cues->CueOf(TCueNumber(row)) : nullptr;
}

QStringList TCueGridModel::OutputTexts() const {
    std::set<int32_t> numbers;
    const TCueList* cues = FCues();
    for (int32_t i = 0; cues && i < cues->Count(); ++i)
        numbers.insert(cues->Items(i)->AudioChannel());
    // The outputs that are there: the drop-down's entries whatever a cue is set to.
    for (const auto& choice : FOutputs->Choices(0))
        numbers.insert(choice.first);
    QStringList texts;
    for (const int32_t number : numbers)
        texts << FOutputs->Text(number);
    return texts;
}

QVariant TCueGridModel::data(const QModelIndex& index, int role) const {
    const TCue* cue = CueOfRow(NumberOf(index));
    if (!cue || !index.isValid())
        return {};
    if (index.column() == ccTime)
        return TimeData(*cue, role);
    switch (role) {
    case Qt::DisplayRole:
        if (index.column() == ccOutput)
            return FOutputs->Text(cue->AudioChannel());
        return DisplayText(*cue, index.column());
    case Qt::EditRole:
        return EditValue(*cue, index.column());
    case Qt::CheckStateRole:
        if (index.column() == ccLoop)
            return cue->Loop ? Qt::Checked : Qt::Unchecked;
        return {};
    case Qt::TextAlignmentRole:
        return Alignment(index.column());
    case Qt::DecorationRole:
    case Qt::ForegroundRole:
        return index.column() == ccFileName ? MissingFileMark(*cue, role) : QVariant();
    case Qt::ToolTipRole:
        if (index.column() == ccContinue && cue->Loop &&
            cue->Continue() == TCueContinue::AutoFollow)
            return QStringLiteral("A looping cue never ends, so it never starts the next cue.");
        return index.column() == ccFileName ? FileNameTip(*cue) : QVariant();
    default:
        return {};
    }
}

// Length of a stopped cue's file; time left of a playing or paused one, or the position in the
// pass of a looping one, with how far it has got; the time left of a wait before it starts; the
// level of its meter.
QVariant TCueGridModel::TimeData(const TCue& cue, int role) const {
    if (role == Qt::TextAlignmentRole)
        return Alignment(ccTime);
    if (role == LevelRole) {
        const double level = FLevel && cue.Stream() != 0 ? FLevel(cue.Stream()) : 0;
        return level > 0 ? QVariant(level) : QVariant();
    }
    if (role != Qt::DisplayRole && role != ProgressRole)
        return {};
    const std::optional<double> length = FLengths->Length(cue.FileName);
    const auto wait =
        FSequencer && cue.State() == csStopped ? FSequencer->TimeToStart(cue) : std::nullopt;
    const std::optional<TCueProgress> progress =
        wait ? TCueTimeCell::Wait(*wait) : TCueTimeCell::Progress(cue, length);
    if (role == ProgressRole)
        return progress && progress->Done ? QVariant(*progress->Done) : QVariant();
    if (progress)
        return progress->Text;
    return length ? QVariant(TCueCellText::Time(*length)) : QVariant(QString());
}

QVariant TCueGridModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation == Qt::Horizontal) {
        if (section < 0 || section >= ccColumnCount)
            return {};
        if (role == Qt::DisplayRole)
            return QString::fromLatin1(Columns[static_cast<size_t>(section)].Header);
        if (role == Qt::TextAlignmentRole)
            return Alignment(section);
        return {};
    }
    if (role == Qt::TextAlignmentRole)
        return QVariant::fromValue(Qt::AlignLeft | Qt::AlignVCenter);
    const TCue* cue = CueOfRow(section + 1);
    if (role == Qt::DisplayRole)
        return cue ? QString::number(section + 1) : QString();
    if (role == Qt::DecorationRole && cue)
        return cue->Fading() ? FFadingPicture : FImages.Icon(cue->State());
    return {};
}

// A file name that names no file: warning picture and warning colour. Known from the
// last look at the file, so the mark comes and goes once a look in the background has found the
// file gone or back.
QVariant TCueGridModel::MissingFileMark(const TCue& cue, int role) const {
    if (FLengths->Exists(cue.FileName) != false)
        return {};
    if (role == Qt::DecorationRole)
        return FImages.Icon(TImageList::FileMissing);
    return MissingFileColour;
}

// The whole path, which the cell may show only the end of; said to be missing when it is.
QVariant TCueGridModel::FileNameTip(const TCue& cue) const {
    if (cue.FileName.empty())
        return {};
    const QString name = QString::fromStdString(cue.FileName);
    if (FLengths->Exists(cue.FileName) == false)
        return QStringLiteral("The file was not found: %1").arg(name);
    return name;
}

bool TCueGridModel::grSoundsCanEditCell(int32_t row, int col) const {
    const TCue* cue = CueOfRow(row);
    return cue && col != ccFileName && col != ccTime && cue->State() == csStopped;
}

Qt::ItemFlags TCueGridModel::flags(const QModelIndex& index) const {
    if (!index.isValid())
        return Qt::NoItemFlags;
    // Always enabled, so that the loop check box keeps its normal look on a playing cue.
    const Qt::ItemFlags flags = Qt::ItemIsSelectable | Qt::ItemIsEnabled;
    if (!grSoundsCanEditCell(NumberOf(index), index.column()))
        return flags;
    return flags | (index.column() == ccLoop ? Qt::ItemIsUserCheckable : Qt::ItemIsEditable);
}

bool TCueGridModel::setData(const QModelIndex& index, const QVariant& value, int role) {
    const int32_t row = NumberOf(index);
    TCue* cue = CueOfRow(row);
    if (!cue || !index.isValid() || !grSoundsCanEditCell(row, index.column()))
        return false;
    const TCueSettings before = TCueSettings::Of(*cue);
    if (role == Qt::CheckStateRole && index.column() == ccLoop)
        grSoundsCheckBoxClick(*cue, value.value<Qt::CheckState>() == Qt::Checked);
    else if (role != Qt::EditRole || index.column() == ccLoop ||
             !grSoundsEditCellDone(*cue, index.column(), value.toString()))
        return false;
    if (OnCueEdited && TCueSettings::Of(*cue) != before)
        OnCueEdited(*cue, before);
    if (OnEditDone)
        OnEditDone(row);
    return true;
}

bool TCueGridModel::grSoundsEditCellDone(TCue& cue, int col, const QString& text) {
    const std::optional<QString> refusal = TCueCellEdit::Write(cue, col, text);
    if (refusal && OnCellError)
        OnCellError(*refusal);
    return !refusal;
}

void TCueGridModel::grSoundsCheckBoxClick(TCue& cue, bool state) {
    cue.Loop = state;
}

void TCueGridModel::SetSequencer(const TCueSequencer* sequencer) {
    FSequencer = sequencer;
    if (!sequencer)
        return;
    // A wait that starts or ends changes the Time cells, and wakes the refresh of them.
    connect(sequencer, &TCueSequencer::WaitsChanged, this, [this] {
        Q_EMIT dataChanged(index(0, ccTime), index(FRowCount - 1, ccTime),
                           {Qt::DisplayRole, ProgressRole});
        Q_EMIT headerDataChanged(Qt::Vertical, 0, FRowCount - 1);
    });
}

void TCueGridModel::RefreshGrid() {
    const TCueList* cues = FCues();
    const int rows = std::max(cues ? cues->Count() : 0, 1);
    if (rows > FRowCount) {
        beginInsertRows({}, FRowCount, rows - 1);
        FRowCount = rows;
        endInsertRows();
    } else if (rows < FRowCount) {
        beginRemoveRows({}, rows, FRowCount - 1);
        FRowCount = rows;
        endRemoveRows();
    }
    Q_EMIT dataChanged(index(0, 0), index(FRowCount - 1, ccColumnCount - 1));
    Q_EMIT headerDataChanged(Qt::Vertical, 0, FRowCount - 1);
}

void TCueGridModel::RefreshRow(int32_t row) {
    const TCue* cue = CueOfRow(row);
    if (!cue || row > FRowCount)
        return;
    FLengths->Check(cue->FileName);
    const int32_t at = TCueNumber(row).Row();
    Q_EMIT dataChanged(index(at, 0), index(at, ccColumnCount - 1));
}

void TCueGridModel::CheckFiles(int32_t first, int32_t last) {
    for (int32_t row = std::max(first, 1); row <= std::min(last, FRowCount); ++row)
        if (const TCue* cue = CueOfRow(row))
            FLengths->Check(cue->FileName);
}

void TCueGridModel::RefreshRowState(int32_t row) {
    if (!CueOfRow(row) || row > FRowCount)
        return;
    Q_EMIT headerDataChanged(Qt::Vertical, TCueNumber(row).Row(), TCueNumber(row).Row());
}

void TCueGridModel::RefreshTime(int32_t row) {
    if (!CueOfRow(row) || row > FRowCount)
        return;
    const QModelIndex cell = index(TCueNumber(row).Row(), ccTime);
    Q_EMIT dataChanged(cell, cell, {Qt::DisplayRole, ProgressRole, LevelRole});
}

void TCueGridModel::RefreshColumn(int col) {
    Q_EMIT dataChanged(index(0, col), index(FRowCount - 1, col), {Qt::DisplayRole});
}

// The rows of the cues that play `file` show what was found: its length, whether it is there.
void TCueGridModel::RefreshFile(const std::string& file) {
    const TCueList* cues = FCues();
    for (int32_t i = 0; cues && i < cues->Count() && i < FRowCount; ++i) {
        if (cues->Items(i)->FileName != file)
            continue;
        const QModelIndex name = index(i, ccFileName);
        Q_EMIT dataChanged(name, name, {Qt::DecorationRole, Qt::ForegroundRole, Qt::ToolTipRole});
        RefreshTime(i + 1);
    }
}
