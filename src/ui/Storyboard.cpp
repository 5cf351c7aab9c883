#include "ui/Storyboard.h"

#include <QAccessible>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QSplitter>
#include <QVBoxLayout>

namespace {
QString Q(const std::string& s)
{
    return QString::fromStdString(s);
}

// The large view asks for pictures at most this big.
const QSize kLargeBound(1280, 1024);
} // namespace

// --- the large picture ------------------------------------------------------

TPictureView::TPictureView(TThumbnailCache& cache, QWidget* parent) : QWidget(parent), Cache(cache)
{
    setObjectName(QStringLiteral("StoryboardPicture"));
    setFocusPolicy(Qt::StrongFocus);
    setMinimumSize(160, 120);
    setAccessibleName(QStringLiteral("Picture"));
    setAccessibleDescription(
        QStringLiteral("Click or use the arrow keys and Enter to set the cursor; "
                       "drag a caption to place it"));
    connect(&Cache, &TThumbnailCache::Ready, this, [this](const QString& path) {
        if (FPicture && Q(FPicture->Content) == path)
            update();
    });
}

void TPictureView::Show(const std::optional<quillora::TStoryItem>& picture,
                        const std::vector<quillora::TStoryItem>& captions,
                        const std::optional<QRectF>& zoomView)
{
    FPicture = picture;
    Captions = captions;
    // A picture kept out of the zoom is shown whole in the video.
    FZoomView = picture && picture->Zoom ? zoomView : std::nullopt;
    Dragging = -1;
    if (FPicture)
        Cursor = QPoint(FPicture->MouseX, FPicture->MouseY);
    Announce();
    update();
}

void TPictureView::Announce()
{
    if (!FPicture) {
        setAccessibleName(QStringLiteral("Picture"));
        return;
    }
    setAccessibleName(QStringLiteral("Picture %1, cursor at %2, %3")
                          .arg(Q(FPicture->Name))
                          .arg(Cursor.x())
                          .arg(Cursor.y()));
    setAccessibleDescription(
        FZoomView ? QStringLiteral("The video zooms to %1 by %2 pixels at %3, %4")
                        .arg(qRound(FZoomView->width()))
                        .arg(qRound(FZoomView->height()))
                        .arg(qRound(FZoomView->x() - FPicture->PositionX))
                        .arg(qRound(FZoomView->y() - FPicture->PositionY))
                  : QString());
}

QRectF TPictureView::PictureRect() const
{
    if (!FPicture || FPicture->Width <= 0 || FPicture->Height <= 0)
        return {};
    const QSizeF size = QSizeF(FPicture->Width, FPicture->Height)
                            .scaled(QSizeF(width() - 8, height() - 8), Qt::KeepAspectRatio);
    return QRectF(QPointF((width() - size.width()) / 2, (height() - size.height()) / 2), size);
}

QPointF TPictureView::ToWidget(QPointF p) const
{
    const QRectF r = PictureRect();
    if (r.isEmpty())
        return {};
    return r.topLeft() +
           QPointF(p.x() * r.width() / FPicture->Width, p.y() * r.height() / FPicture->Height);
}

QPoint TPictureView::ToPicture(QPointF w) const
{
    const QRectF r = PictureRect();
    if (r.isEmpty())
        return {};
    return QPoint(int((w.x() - r.left()) * FPicture->Width / r.width()),
                  int((w.y() - r.top()) * FPicture->Height / r.height()));
}

QRectF TPictureView::CaptionRect(const quillora::TStoryItem& c) const
{
    // As the movie places it: the baseline 5 pixels below the position,
    // letters 1.4 times the font size tall.
    QFont font(Q(c.FontName));
    font.setPixelSize(std::max(1, int(c.FontSize * 1.4 + 0.5)));
    const QFontMetricsF m(font);
    const double baseline = c.PositionY + 5;
    return QRectF(c.PositionX, baseline - m.ascent(), m.horizontalAdvance(Q(c.Content)),
                  m.height());
}

int TPictureView::CaptionAt(QPointF w) const
{
    const QPoint p = ToPicture(w);
    for (auto it = Captions.rbegin(); it != Captions.rend(); ++it)
        if (CaptionRect(*it).contains(p))
            return it->Index;
    return -1;
}

void TPictureView::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.fillRect(rect(), Qt::white);
    if (!FPicture)
        return;
    const QRectF r = PictureRect();
    TThumbnailCache::Result img = Cache.Request(Q(FPicture->Content), kLargeBound);
    if (img.Done && !img.Image.isNull()) {
        p.setRenderHint(QPainter::SmoothPixmapTransform);
        p.drawImage(r, img.Image);
    } else {
        p.fillRect(r, QColor(0xEE, 0xEE, 0xEE));
        p.setPen(Qt::darkGray);
        const QString why = !FPicture->Problem.empty() ? Q(FPicture->Problem)
                            : img.Done ? QStringLiteral("Cannot show the picture: ") + img.Error
                                       : QString();
        p.drawText(r, Qt::AlignCenter | Qt::TextWordWrap, why);
    }
    const double scale = r.width() / std::max(1, FPicture->Width);
    p.setClipRect(r);
    for (const quillora::TStoryItem& c : Captions) {
        QFont font(Q(c.FontName));
        font.setPixelSize(std::max(1, int(c.FontSize * 1.4 * scale + 0.5)));
        p.setFont(font);
        p.setPen(QColor(c.FontColor & 0xFF, (c.FontColor >> 8) & 0xFF, (c.FontColor >> 16) & 0xFF));
        p.drawText(ToWidget(QPointF(c.PositionX, c.PositionY + 5)), Q(c.Content));
        if (c.Index == Dragging) {
            p.setPen(QPen(Qt::gray, 1, Qt::DashLine));
            const QRectF cr = CaptionRect(c);
            p.drawRect(QRectF(ToWidget(cr.topLeft()), ToWidget(cr.bottomRight())));
        }
    }
    // What the zooming video shows: a dashed frame, dark over light, that
    // reads on light and dark screens alike.
    if (FZoomView) {
        const QPointF offset(FPicture->PositionX, FPicture->PositionY);
        const QRectF view(ToWidget(FZoomView->topLeft() - offset),
                          ToWidget(FZoomView->bottomRight() - offset));
        p.setPen(QPen(Qt::white, 3));
        p.drawRect(view.adjusted(1, 1, -1, -1));
        p.setPen(QPen(QColor(0x10, 0x50, 0xC0), 2, Qt::DashLine));
        p.drawRect(view.adjusted(1, 1, -1, -1));
    }
    // The recorded cursor: a red ring with cross hairs at the arrow's tip.
    const QPointF c = ToWidget(Cursor);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(Qt::red, 2));
    p.drawEllipse(c, 7, 7);
    p.drawLine(c - QPointF(11, 0), c + QPointF(11, 0));
    p.drawLine(c - QPointF(0, 11), c + QPointF(0, 11));
    if (hasFocus()) {
        p.setClipping(false);
        p.setPen(QPen(palette().highlight().color(), 1, Qt::DotLine));
        p.drawRect(rect().adjusted(0, 0, -1, -1));
    }
}

void TPictureView::mousePressEvent(QMouseEvent* e)
{
    if (!FPicture || e->button() != Qt::LeftButton)
        return;
    setFocus(Qt::MouseFocusReason);
    Dragging = CaptionAt(e->position());
    DragFrom = e->position();
    if (Dragging >= 0) {
        for (const auto& c : Captions)
            if (c.Index == Dragging)
                DragOffset = ToPicture(e->position()) - QPoint(c.PositionX, c.PositionY);
        update();
    }
}

void TPictureView::mouseMoveEvent(QMouseEvent* e)
{
    if (Dragging < 0)
        return;
    for (auto& c : Captions) {
        if (c.Index == Dragging) {
            const QPoint at = ToPicture(e->position()) - DragOffset;
            c.PositionX = at.x();
            c.PositionY = at.y();
        }
    }
    update();
}

void TPictureView::mouseReleaseEvent(QMouseEvent* e)
{
    if (!FPicture || e->button() != Qt::LeftButton)
        return;
    if (Dragging >= 0) {
        const int index = Dragging;
        Dragging = -1;
        if ((e->position() - DragFrom).manhattanLength() >= 2) {
            for (const auto& c : Captions)
                if (c.Index == index)
                    emit CaptionMoved(index, c.PositionX, c.PositionY);
            return;
        }
    }
    if (!PictureRect().contains(e->position()))
        return;
    const QPoint p = ToPicture(e->position());
    Cursor = p;
    update();
    emit CursorChosen(p.x(), p.y());
}

void TPictureView::keyPressEvent(QKeyEvent* e)
{
    if (!FPicture) {
        QWidget::keyPressEvent(e);
        return;
    }
    const int step = e->modifiers() & Qt::ShiftModifier ? 10 : 1;
    QPoint d;
    switch (e->key()) {
    case Qt::Key_Left:
        d = {-step, 0};
        break;
    case Qt::Key_Right:
        d = {step, 0};
        break;
    case Qt::Key_Up:
        d = {0, -step};
        break;
    case Qt::Key_Down:
        d = {0, step};
        break;
    case Qt::Key_Return:
    case Qt::Key_Enter:
    case Qt::Key_Space:
        emit CursorChosen(Cursor.x(), Cursor.y());
        return;
    case Qt::Key_Escape:
        Cursor = QPoint(FPicture->MouseX, FPicture->MouseY);
        Announce();
        update();
        return;
    default:
        QWidget::keyPressEvent(e);
        return;
    }
    if (e->modifiers() & Qt::ControlModifier) {
        QWidget::keyPressEvent(e); // Ctrl+arrows move pictures
        return;
    }
    Cursor = QPoint(std::clamp(Cursor.x() + d.x(), 0, std::max(0, FPicture->Width - 1)),
                    std::clamp(Cursor.y() + d.y(), 0, std::max(0, FPicture->Height - 1)));
    Announce();
    QAccessibleEvent ev(this, QAccessible::NameChanged);
    QAccessible::updateAccessibility(&ev);
    update();
}

// --- the storyboard ----------------------------------------------------------

bool TStoryboard::eventFilter(QObject* watched, QEvent* event)
{
    // Writing a guide from the keyboard: select a tile, Enter or F2, type.
    if (watched == FStrip && event->type() == QEvent::KeyPress) {
        const auto* k = static_cast<QKeyEvent*>(event);
        const bool plain = !(k->modifiers() & ~Qt::KeypadModifier);
        if (plain && (k->key() == Qt::Key_Return || k->key() == Qt::Key_Enter ||
                      k->key() == Qt::Key_F2) &&
            FEditor && CurrentPicture()) {
            emit CaptionRequested();
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

TStoryboard::TStoryboard(QWidget* parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("Storyboard"));
    setAutoFillBackground(true);
    QPalette white = palette();
    white.setColor(QPalette::Window, Qt::white);
    white.setColor(QPalette::Base, Qt::white);
    setPalette(white);

    FCache = new TThumbnailCache(this);
    FModel = new TStoryboardModel(*FCache, this);
    FModel->RunEdit = [this](const std::function<void()>& edit) { Run(edit); };
    FModel->Edited = [this](int index) {
        Reload(index);
        emit Edited();
    };

    FLarge = new TPictureView(*FCache, this);
    FStrip = new QListView(this);
    FStrip->setObjectName(QStringLiteral("StoryboardStrip"));
    FStrip->setAccessibleName(QStringLiteral("Storyboard"));
    FStrip->setModel(FModel);
    FStrip->setViewMode(QListView::IconMode);
    FStrip->setFlow(QListView::LeftToRight);
    FStrip->setWrapping(false);
    FStrip->setMovement(QListView::Snap);
    FStrip->setResizeMode(QListView::Adjust);
    FStrip->setUniformItemSizes(true);
    FStrip->setIconSize(QSize(TStoryboardModel::ThumbnailWidth, TStoryboardModel::ThumbnailHeight));
    FStrip->setGridSize(
        QSize(TStoryboardModel::ThumbnailWidth + 16, TStoryboardModel::ThumbnailHeight + 44));
    FStrip->setWordWrap(true);
    FStrip->setSelectionMode(QAbstractItemView::ExtendedSelection);
    FStrip->setDragDropMode(QAbstractItemView::InternalMove);
    FStrip->setDefaultDropAction(Qt::MoveAction);
    FStrip->setDragEnabled(true);
    FStrip->setAcceptDrops(true);
    FStrip->setDropIndicatorShown(true);
    FStrip->setFixedHeight(TStoryboardModel::ThumbnailHeight + 70);
    FStrip->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    FStrip->installEventFilter(this);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(FLarge, 1);
    layout->addWidget(FStrip);
    setFocusProxy(FStrip);

    connect(FStrip->selectionModel(), &QItemSelectionModel::currentChanged, this, [this] {
        ShowCurrent();
        emit SelectionChanged();
    });
    connect(FStrip->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            [this] { emit SelectionChanged(); });
    connect(FLarge, &TPictureView::CursorChosen, this, [this](int x, int y) {
        auto pic = FLarge->Picture();
        if (!pic || !FEditor)
            return;
        if (pic->MouseX == x && pic->MouseY == y)
            return;
        Run([&] { FEditor->SetCursor(pic->Index, x, y); });
        Reload(pic->Index);
        emit Edited();
    });
    connect(FLarge, &TPictureView::CaptionMoved, this, [this](int index, int x, int y) {
        if (!FEditor)
            return;
        const int row = FModel->RowOfIndex(index);
        if (row < 0)
            return;
        const quillora::TStoryItem& it = FModel->Item(row);
        quillora::TCaption c{it.Content, it.FontName, it.FontSize, it.FontColor, x, y};
        const int keep = FLarge->Picture() ? FLarge->Picture()->Index : -1;
        Run([&] { FEditor->EditCaption(index, c); });
        Reload(keep);
        emit Edited();
    });
    SetEditor(nullptr);
}

void TStoryboard::Run(const std::function<void()>& edit)
{
    if (RunEdit)
        RunEdit(edit);
    else
        edit();
}

void TStoryboard::SetEditor(quillora::TProjectEditor* editor)
{
    FEditor = editor;
    FCache->Clear();
    FModel->SetEditor(editor);
    FLarge->setVisible(editor != nullptr);
    FStrip->setVisible(editor != nullptr);
    FZoomViews = ZoomViews && editor ? ZoomViews() : std::map<int32_t, QRectF>();
    if (editor && FModel->rowCount() > 0)
        FStrip->setCurrentIndex(FModel->index(0));
    ShowCurrent();
}

void TStoryboard::Reload(int selectIndex)
{
    const QModelIndex cur = FStrip->currentIndex();
    int keep = selectIndex;
    int keepRow = cur.row();
    if (keep < 0 && cur.isValid())
        keep = cur.data(TStoryboardModel::DocumentIndexRole).toInt();
    // The same object may have a new document index; its name says which.
    const std::string name =
        cur.isValid() && selectIndex < 0 ? FModel->Item(cur.row()).Name : std::string();
    FModel->Reload();
    FZoomViews = ZoomViews && FEditor ? ZoomViews() : std::map<int32_t, QRectF>();
    int row = -1;
    if (!name.empty())
        for (int r = 0; r < FModel->rowCount() && row < 0; ++r)
            if (FModel->Item(r).Name == name)
                row = r;
    if (row < 0)
        row = FModel->RowOfIndex(keep);
    if (row < 0 && FModel->rowCount() > 0)
        row = std::clamp(keepRow, 0, FModel->rowCount() - 1);
    if (row >= 0) {
        FStrip->setCurrentIndex(FModel->index(row));
        FStrip->scrollTo(FModel->index(row));
    }
    ShowCurrent();
}

std::vector<int32_t> TStoryboard::SelectedIndexes() const
{
    std::vector<int32_t> out;
    for (const QModelIndex& i : FStrip->selectionModel()->selectedIndexes())
        out.push_back(i.data(TStoryboardModel::DocumentIndexRole).toInt());
    if (out.empty() && FStrip->currentIndex().isValid())
        out.push_back(FStrip->currentIndex().data(TStoryboardModel::DocumentIndexRole).toInt());
    return out;
}

std::optional<quillora::TStoryItem> TStoryboard::CurrentPicture() const
{
    const QModelIndex cur = FStrip->currentIndex();
    if (!cur.isValid())
        return std::nullopt;
    const quillora::TStoryItem& it = FModel->Item(cur.row());
    if (it.Kind == "Pic")
        return it;
    if (it.Picture >= 0) {
        const int row = FModel->RowOfIndex(it.Picture);
        if (row >= 0)
            return FModel->Item(row);
    }
    return std::nullopt;
}

std::optional<quillora::TStoryItem> TStoryboard::CurrentCaption() const
{
    const QModelIndex cur = FStrip->currentIndex();
    if (!cur.isValid() || FModel->Item(cur.row()).Kind != "Text")
        return std::nullopt;
    return FModel->Item(cur.row());
}

void TStoryboard::ShowCurrent()
{
    std::optional<quillora::TStoryItem> pic = CurrentPicture();
    std::vector<quillora::TStoryItem> captions;
    if (pic) {
        // Captions on screen at some time of this picture.
        const int64_t s = pic->Start, e = int64_t(pic->Start) + pic->Length;
        for (int r = 0; r < FModel->rowCount(); ++r) {
            const quillora::TStoryItem& it = FModel->Item(r);
            if (it.Kind == "Text" && it.Problem.empty() && it.Start < e &&
                int64_t(it.Start) + it.Length > s)
                captions.push_back(it);
        }
    }
    std::optional<QRectF> view;
    if (pic)
        if (const auto it = FZoomViews.find(pic->Index); it != FZoomViews.end())
            view = it->second;
    FLarge->Show(pic, captions, view);
}
