#include "TCueGrid.h"

#include "TCueGridDelegate.h"
#include "TCueRowHeader.h"
#include "TPlaybackRefresh.h"
#include "TStageZoom.h"

#include <QDropEvent>
#include <QMimeData>
#include <QUrl>

#include <QHeaderView>
#include <QKeyEvent>
#include <QKeySequence>
#include <QMetaMethod>
#include <QPainter>
#include <QSignalBlocker>
#include <QStyle>

#include <algorithm>
#include <array>
#include <chrono>
#include <cmath>

namespace {
constexpr int RowHeight = 22;
constexpr std::chrono::seconds FileCheckInterval{2};
// Widths at the start; the Output column then follows the output names.
constexpr std::array<int, ccColumnCount> ColumnWidths = {100, 196, 55, 50, 45, 37, 90,
                                                         75,  60,  60, 60, 60, 80};
// An output name longer than this is cut, so that the other columns stay in view.
constexpr int MaxOutputWidth = 360;
// Room kept around the empty show's hint.
constexpr int HintMargin = 12;

void MakeBold(QHeaderView& header) {
    QFont font = header.font();
    font.setBold(true);
    header.setFont(font);
}
} // namespace

TCueGrid::TCueGrid(TCueGridModel::TCueListSource cues, const TImageList& images, QWidget* parent)
    : QTableView(parent), FModel(new TCueGridModel(std::move(cues), images, this)),
      FRefresh(new TPlaybackRefresh(*FModel, this)) {
    setObjectName(QStringLiteral("grSounds"));
    setVerticalHeader(new TCueRowHeader(this));
    setModel(FModel);
    // The view lays itself out anew on every header change; here those are only state pictures,
    // which the row header redraws itself, so a state change repaints one row header only.
    disconnect(FModel, QMetaMethod::fromSignal(&QAbstractItemModel::headerDataChanged), this,
               QMetaMethod());
    // A state change, or a rebuild, may start or end playback.
    connect(FModel, &QAbstractItemModel::headerDataChanged, FRefresh, &TPlaybackRefresh::Wake);
    FModel->SetLevelSource([this](HSTREAM stream) { return FRefresh->Level(stream); });
    setItemDelegate(new TCueGridDelegate(this));
    setAcceptDrops(true);
    viewport()->setAcceptDrops(true);
    setDropIndicatorShown(false);
    // Typing never opens an editor: mid-show a letter or the space bar meant for a command would
    // land in a cell. F2, Enter and a double click do.
    setEditTriggers(QAbstractItemView::DoubleClicked | QAbstractItemView::EditKeyPressed);
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setSelectionBehavior(QAbstractItemView::SelectItems);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setWordWrap(false);
    SetUpColumns();
    FCellFont = font();
    FColumnFont = horizontalHeader()->font();
    FRowFont = verticalHeader()->font();
    connect(verticalHeader(), &QHeaderView::sectionMoved, this, &TCueGrid::RowHeaderMoved);
    connect(selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            [this](const QModelIndex& current, const QModelIndex& previous) {
                // Every cell of both rows shows whether it is the standby row.
                RepaintRow(previous.row());
                RepaintRow(current.row());
                if (current.isValid())
                    Q_EMIT SelectCell(TCueGridModel::NumberOf(current));
            });
    connect(this, &QAbstractItemView::doubleClicked, this, [this](const QModelIndex& index) {
        Q_EMIT DblClickCell(TCueGridModel::NumberOf(index), index.column());
    });
    connect(&FFileCheck, &QTimer::timeout, this, &TCueGrid::CheckVisibleFiles);
    FFileCheck.start(FileCheckInterval);
}

void TCueGrid::SetUpColumns() {
    QHeaderView* header = horizontalHeader();
    MakeBold(*header);
    header->setMinimumHeight(RowHeight);
    header->setHighlightSections(false);
    header->setSectionResizeMode(QHeaderView::Interactive);
    SizeColumns();
    // The file name takes whatever width the other columns leave, yet its border stays
    // draggable (a Stretch section could not be dragged).
    connect(header, &QHeaderView::sectionResized, this, [this](int logical) {
        if (logical != ccFileName)
            FitFileNameColumn();
    });
    connect(FModel, &QAbstractItemModel::dataChanged, this,
            [this](const QModelIndex& first, const QModelIndex& last, const QList<int>& roles) {
                if (first.column() <= ccOutput && last.column() >= ccOutput &&
                    (roles.isEmpty() || roles.contains(Qt::DisplayRole)))
                    FitOutputColumn();
            });
    connect(FModel, &QAbstractItemModel::rowsInserted, this, &TCueGrid::FitOutputColumn);
    connect(FModel, &QAbstractItemModel::rowsRemoved, this, &TCueGrid::FitOutputColumn);
    FitOutputColumn();
}

// Never narrower than the header text, which the desktop's bold font may need.
void TCueGrid::SizeColumns() {
    QHeaderView* header = horizontalHeader();
    for (int col = 0; col < ccColumnCount; ++col)
        header->resizeSection(col, std::max(ColumnWidths[static_cast<size_t>(col)] * FScale / 100,
                                            header->sectionSizeHint(col)));
}

void TCueGrid::SetTextScale(int percent) {
    if (percent == FScale)
        return;
    FScale = percent;
    setFont(TStageZoom::ScaledFont(FCellFont, percent));
    horizontalHeader()->setFont(TStageZoom::ScaledFont(FColumnFont, percent));
    verticalHeader()->setFont(TStageZoom::ScaledFont(FRowFont, percent));
    const int rowHeight = RowHeight * percent / 100;
    horizontalHeader()->setMinimumHeight(rowHeight);
    verticalHeader()->setDefaultSectionSize(rowHeight);
    SizeColumns();
    FOutputWidth = 0;
    FitOutputColumn();
    FitFileNameColumn();
}

int TCueGrid::OutputColumnWidth() const {
    // As the item delegate lays out a cell: a text margin on either side, the grid line, and a
    // pixel for the text's fractional width.
    const int margin = style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, this) + 1;
    const QFontMetricsF metrics(font());
    int widest = horizontalHeader()->sectionSizeHint(ccOutput);
    for (const QString& text : FModel->OutputTexts())
        widest = std::max(widest, static_cast<int>(std::ceil(metrics.horizontalAdvance(text))) +
                                      2 * margin + 2);
    return std::min(widest, MaxOutputWidth);
}

void TCueGrid::FitOutputColumn() {
    const int width = OutputColumnWidth();
    if (width == FOutputWidth)
        return;
    FOutputWidth = width;
    horizontalHeader()->resizeSection(ccOutput, width);
}

void TCueGrid::FitFileNameColumn() {
    QHeaderView* header = horizontalHeader();
    const int others = header->length() - header->sectionSize(ccFileName);
    const int width = std::max(viewport()->width() - others, header->sectionSizeHint(ccFileName));
    if (width != header->sectionSize(ccFileName))
        header->resizeSection(ccFileName, width);
}

void TCueGrid::resizeEvent(QResizeEvent* event) {
    QTableView::resizeEvent(event);
    FitFileNameColumn();
}

void TCueGrid::RowHeaderMoved(int, int oldVisual, int newVisual) {
    // The rows keep their places on screen; the list is reordered instead and the grid refreshed.
    {
        const QSignalBlocker blocker(verticalHeader());
        verticalHeader()->moveSection(newVisual, oldVisual);
    }
    Q_EMIT RowMoved(oldVisual + 1, newVisual + 1);
}

void TCueGrid::RepaintRow(int row) {
    if (row >= 0)
        viewport()->update(0, rowViewportPosition(row), viewport()->width(), rowHeight(row));
}

void TCueGrid::CheckVisibleFiles() {
    if (!isVisible())
        return;
    const int first = rowAt(0);
    const int last = rowAt(viewport()->height() - 1);
    FModel->CheckFiles(first + 1, last < 0 ? FModel->rowCount() : last + 1);
}

TCueNumber TCueGrid::CurrentRow() const {
    return TCueNumber::OfRow(std::max(currentIndex().row(), 0));
}

QString TCueGrid::EmptyShowHint() const {
    if (FModel->CueOfRow(1))
        return {};
    return QStringLiteral("This show has no cues yet.\n"
                          "Click Add Files on the toolbar (%1) to add sound files,\n"
                          "or drop them here.")
        .arg(QKeySequence(QKeySequence::Open).toString(QKeySequence::NativeText));
}

void TCueGrid::paintEvent(QPaintEvent* event) {
    QTableView::paintEvent(event);
    const QString hint = EmptyShowHint();
    if (hint.isEmpty())
        return;
    // Below the blank row, centred in what is left of the view.
    const int top = rowViewportPosition(0) + rowHeight(0);
    const QRect room =
        viewport()->rect().adjusted(HintMargin, top + HintMargin, -HintMargin, -HintMargin);
    QPainter painter(viewport());
    painter.setPen(palette().color(QPalette::PlaceholderText));
    painter.drawText(room, Qt::AlignCenter | Qt::TextWordWrap, hint);
}

void TCueGrid::RefreshGrid() {
    FModel->RefreshGrid();
    // The empty show's hint comes or goes with the first cue.
    viewport()->update();
    if (!currentIndex().isValid())
        setCurrentIndex(FModel->index(0, 0));
}

void TCueGrid::keyPressEvent(QKeyEvent* event) {
    const bool plain = (event->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier;
    if (plain && state() != EditingState) {
        switch (event->key()) {
        case Qt::Key_Delete:
            Q_EMIT DeleteKeyPressed();
            event->accept();
            return;
        case Qt::Key_Return:
        case Qt::Key_Enter:
            if (edit(currentIndex(), EditKeyPressed, event)) {
                event->accept();
                return;
            }
            break;
        default:
            break;
        }
    }
    QTableView::keyPressEvent(event);
}

namespace {
// The local files among what is dragged; nothing when it holds none.
QStringList LocalFiles(const QMimeData* data) {
    QStringList files;
    if (!data || !data->hasUrls())
        return files;
    for (const QUrl& url : data->urls())
        if (url.isLocalFile())
            files << url.toLocalFile();
    return files;
}
} // namespace

void TCueGrid::dragEnterEvent(QDragEnterEvent* event) {
    if (LocalFiles(event->mimeData()).isEmpty())
        event->ignore();
    else
        event->acceptProposedAction();
}

void TCueGrid::dragMoveEvent(QDragMoveEvent* event) {
    if (LocalFiles(event->mimeData()).isEmpty())
        event->ignore();
    else
        event->acceptProposedAction();
}

void TCueGrid::dropEvent(QDropEvent* event) {
    const QStringList files = LocalFiles(event->mimeData());
    if (files.isEmpty()) {
        event->ignore();
        return;
    }
    event->acceptProposedAction();
    const QModelIndex at = indexAt(event->position().toPoint());
    const TCueList* cues = FModel->Cues();
    const int32_t below = (cues ? cues->Count() : 0) + 1;
    Q_EMIT FilesDropped(at.isValid() ? std::min(TCueGridModel::NumberOf(at), below) : below, files);
}
