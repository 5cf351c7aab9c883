// The open movie as a list of tiles, one per object in time order: a picture
// as its thumbnail, a caption as its text in its colour, a sound as its file
// name, each with its start and length in seconds.
#pragma once

#include "project/ProjectEditor.h"
#include "ui/Thumbnails.h"

#include <QAbstractListModel>
#include <QHash>
#include <functional>
#include <vector>

class TStoryboardModel : public QAbstractListModel {
    Q_OBJECT
  public:
    enum Roles {
        DocumentIndexRole = Qt::UserRole + 1, // int: the object's index in the document
        KindRole,                             // QString: "Pic", "Text", "Sound", ...
        ProblemRole,                          // QString: why it cannot be shown, or empty
    };
    static constexpr int ThumbnailWidth = 128;
    static constexpr int ThumbnailHeight = 96;

    explicit TStoryboardModel(TThumbnailCache& cache, QObject* parent = nullptr);

    // The editor of the open project, or null (no tiles).
    void SetEditor(quillora::TProjectEditor* editor);
    quillora::TProjectEditor* Editor() const { return FEditor; }
    // Reads the document again, after every edit.
    void Reload();

    // Runs an edit made by dragging in the strip; the window shows errors.
    std::function<void(const std::function<void()>&)> RunEdit;
    // After an edit made here, with the document index to select (or -1).
    std::function<void(int)> Edited;

    const quillora::TStoryItem& Item(int row) const { return Items[size_t(row)]; }
    // How many pictures come before object index in time order.
    int PicturesBefore(int32_t index) const;
    int PictureCount() const;
    int RowOfIndex(int documentIndex) const;
    int rowCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    Qt::DropActions supportedDropActions() const override { return Qt::MoveAction; }
    QStringList mimeTypes() const override;
    QMimeData* mimeData(const QModelIndexList& indexes) const override;
    bool canDropMimeData(const QMimeData* data, Qt::DropAction action, int row, int column,
                         const QModelIndex& parent) const override;
    bool dropMimeData(const QMimeData* data, Qt::DropAction action, int row, int column,
                      const QModelIndex& parent) override;

    // Seconds as the tiles say them: "1.6", "0", "0.67".
    static QString Seconds(int frames, int rate);
    // "Pic2, 1.6 s at 1.6 s"
    QString AccessibleName(int row) const;

  private:
    void ThumbnailReady(const QString& path);

    TThumbnailCache& Cache;
    quillora::TProjectEditor* FEditor = nullptr;
    std::vector<quillora::TStoryItem> Items;
    QHash<QString, QList<int>> RowsOfPath;
    int Rate = 15;
};
