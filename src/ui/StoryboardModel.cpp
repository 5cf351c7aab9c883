#include "ui/StoryboardModel.h"

#include <algorithm>

#include <QColor>
#include <QFileInfo>
#include <QIODevice>
#include <QMimeData>
#include <QPainter>
#include <QPixmap>

namespace {
const char* const kMime = "application/x-quillora-picture";

QString Q(const std::string& s)
{
    return QString::fromStdString(s);
}

QColor ColorOf(int32_t colorRef)
{
    return QColor(colorRef & 0xFF, (colorRef >> 8) & 0xFF, (colorRef >> 16) & 0xFF);
}

QPixmap Placeholder(const QString& text)
{
    QPixmap pm(TStoryboardModel::ThumbnailWidth, TStoryboardModel::ThumbnailHeight);
    pm.fill(QColor(0xEE, 0xEE, 0xEE));
    QPainter p(&pm);
    p.setPen(QColor(0x99, 0x99, 0x99));
    p.drawRect(pm.rect().adjusted(0, 0, -1, -1));
    p.setPen(Qt::darkGray);
    p.drawText(pm.rect().adjusted(4, 4, -4, -4), Qt::AlignCenter | Qt::TextWordWrap, text);
    return pm;
}
} // namespace

TStoryboardModel::TStoryboardModel(TThumbnailCache& cache, QObject* parent)
    : QAbstractListModel(parent), Cache(cache)
{
    connect(&Cache, &TThumbnailCache::Ready, this, &TStoryboardModel::ThumbnailReady);
}

void TStoryboardModel::SetEditor(quillora::TProjectEditor* editor)
{
    FEditor = editor;
    Reload();
}

void TStoryboardModel::Reload()
{
    beginResetModel();
    Items = FEditor ? FEditor->Items() : std::vector<quillora::TStoryItem>{};
    Rate = FEditor ? FEditor->Rate() : 15;
    RowsOfPath.clear();
    for (int row = 0; row < int(Items.size()); ++row)
        if (Items[size_t(row)].Kind == "Pic")
            RowsOfPath[Q(Items[size_t(row)].Content)].append(row);
    endResetModel();
}

int TStoryboardModel::RowOfIndex(int documentIndex) const
{
    for (int row = 0; row < int(Items.size()); ++row)
        if (Items[size_t(row)].Index == documentIndex)
            return row;
    return -1;
}

int TStoryboardModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : int(Items.size());
}

QString TStoryboardModel::Seconds(int frames, int rate)
{
    QString s = QString::number(double(frames) / double(rate > 0 ? rate : 15), 'f', 2);
    while (s.endsWith(QLatin1Char('0')))
        s.chop(1);
    if (s.endsWith(QLatin1Char('.')))
        s.chop(1);
    return s;
}

QString TStoryboardModel::AccessibleName(int row) const
{
    const quillora::TStoryItem& it = Items[size_t(row)];
    QString name = Q(it.Name.empty() ? it.Kind : it.Name);
    if (it.Kind == "Text")
        name += QStringLiteral(" \"") + Q(it.Content) + QLatin1Char('"');
    else if (it.Kind == "Sound")
        name += QStringLiteral(" ") + QFileInfo(Q(it.Content)).fileName();
    if (it.Kind == "Sound")
        name += QStringLiteral(", at ") + Seconds(it.Start, Rate) + QStringLiteral(" s");
    else
        name += QStringLiteral(", ") + Seconds(it.Length, Rate) + QStringLiteral(" s at ") +
                Seconds(it.Start, Rate) + QStringLiteral(" s");
    const QString problem = data(index(row), ProblemRole).toString();
    if (!problem.isEmpty())
        name += QStringLiteral(", ") + problem;
    return name;
}

QVariant TStoryboardModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() >= int(Items.size()))
        return {};
    const quillora::TStoryItem& it = Items[size_t(index.row())];
    const QString times =
        it.Kind == "Sound" ? QStringLiteral("at ") + Seconds(it.Start, Rate) + QStringLiteral(" s")
                           : Seconds(it.Length, Rate) + QStringLiteral(" s at ") +
                                 Seconds(it.Start, Rate) + QStringLiteral(" s");
    switch (role) {
    case Qt::DisplayRole: {
        if (it.Kind == "Text")
            return Q(it.Content) + QLatin1Char('\n') + times;
        if (it.Kind == "Sound")
            return QStringLiteral("\u266A ") + QFileInfo(Q(it.Content)).fileName() +
                   QLatin1Char('\n') + times;
        return Q(it.Name) + QLatin1Char('\n') + times;
    }
    case Qt::AccessibleTextRole:
        return AccessibleName(index.row());
    case Qt::ToolTipRole:
        return it.Problem.empty() ? Q(it.Content) : Q(it.Problem);
    case Qt::ForegroundRole:
        if (it.Kind == "Text" && it.Problem.empty())
            return ColorOf(it.FontColor);
        return {};
    case Qt::DecorationRole: {
        if (it.Kind != "Pic")
            return {};
        if (!it.Problem.empty())
            return Placeholder(Q(it.Problem));
        TThumbnailCache::Result r = const_cast<TThumbnailCache&>(Cache).Request(
            Q(it.Content), QSize(ThumbnailWidth, ThumbnailHeight));
        if (!r.Done)
            return Placeholder(QString());
        if (r.Image.isNull())
            return Placeholder(QStringLiteral("Cannot show the picture: ") + r.Error);
        return QPixmap::fromImage(r.Image);
    }
    case DocumentIndexRole:
        return it.Index;
    case KindRole:
        return Q(it.Kind);
    case ProblemRole: {
        if (!it.Problem.empty())
            return Q(it.Problem);
        if (it.Kind == "Pic") {
            TThumbnailCache::Result r = const_cast<TThumbnailCache&>(Cache).Request(
                Q(it.Content), QSize(ThumbnailWidth, ThumbnailHeight));
            if (r.Done && r.Image.isNull())
                return QStringLiteral("Cannot show the picture: ") + r.Error;
        }
        return QString();
    }
    default:
        return {};
    }
}

Qt::ItemFlags TStoryboardModel::flags(const QModelIndex& index) const
{
    Qt::ItemFlags f = QAbstractListModel::flags(index);
    if (!index.isValid())
        return f | Qt::ItemIsDropEnabled;
    if (Items[size_t(index.row())].Kind == "Pic")
        f |= Qt::ItemIsDragEnabled;
    return f;
}

QStringList TStoryboardModel::mimeTypes() const
{
    return {QString::fromLatin1(kMime)};
}

QMimeData* TStoryboardModel::mimeData(const QModelIndexList& indexes) const
{
    for (const QModelIndex& i : indexes) {
        if (i.isValid() && Items[size_t(i.row())].Kind == "Pic") {
            auto* m = new QMimeData;
            m->setData(QString::fromLatin1(kMime),
                       QByteArray::number(Items[size_t(i.row())].Index));
            return m;
        }
    }
    return nullptr;
}

bool TStoryboardModel::canDropMimeData(const QMimeData* data, Qt::DropAction action, int, int,
                                       const QModelIndex&) const
{
    return FEditor && action == Qt::MoveAction && data &&
           data->hasFormat(QString::fromLatin1(kMime));
}

int TStoryboardModel::PicturesBefore(int32_t index) const
{
    int place = 0;
    for (const quillora::TStoryItem& it : Items) {
        if (it.Index == index)
            break;
        if (it.Kind == "Pic")
            ++place;
    }
    return place;
}

int TStoryboardModel::PictureCount() const
{
    return int(std::count_if(Items.begin(), Items.end(),
                             [](const quillora::TStoryItem& it) { return it.Kind == "Pic"; }));
}

bool TStoryboardModel::dropMimeData(const QMimeData* data, Qt::DropAction action, int row, int,
                                    const QModelIndex& parent)
{
    if (!canDropMimeData(data, action, row, 0, parent))
        return false;
    bool ok = false;
    const int index = data->data(QString::fromLatin1(kMime)).toInt(&ok);
    if (!ok)
        return false;
    if (row < 0)
        row = parent.isValid() ? parent.row() : int(Items.size());
    // The place among the pictures: those before the drop row, less itself.
    int place = 0;
    for (int r = 0; r < row && r < int(Items.size()); ++r)
        if (Items[size_t(r)].Kind == "Pic" && Items[size_t(r)].Index != index)
            ++place;
    int moved = -1;
    auto edit = [&] { moved = FEditor->MovePicture(index, place); };
    if (RunEdit)
        RunEdit(edit);
    else
        edit();
    Reload();
    if (Edited)
        Edited(moved);
    // The move is done here; the view must not remove the dragged row.
    return false;
}

void TStoryboardModel::ThumbnailReady(const QString& path)
{
    for (int row : RowsOfPath.value(path)) {
        const QModelIndex i = index(row);
        emit dataChanged(i, i, {Qt::DecorationRole, ProblemRole, Qt::AccessibleTextRole});
    }
}
