// The storyboard: the selected picture large, with its recorded cursor and
// the captions of its time over it, above a strip of tiles, one per object.
// Clicking the large picture (or arrows then Enter) moves the cursor;
// dragging a caption places it; Enter or F2 on a tile asks for its caption. Edits go through the project's editor.
#pragma once

#include "project/ProjectEditor.h"
#include "ui/StoryboardModel.h"
#include "ui/Thumbnails.h"

#include <QListView>
#include <QWidget>
#include <functional>
#include <map>
#include <optional>

class TPictureView : public QWidget {
    Q_OBJECT
  public:
    TPictureView(TThumbnailCache& cache, QWidget* parent = nullptr);

    // The picture shown and the captions of its time; no picture: empty.
    // zoomView: what a zooming video shows of the picture, in stage pixels.
    void Show(const std::optional<quillora::TStoryItem>& picture,
              const std::vector<quillora::TStoryItem>& captions,
              const std::optional<QRectF>& zoomView = std::nullopt);
    const std::optional<QRectF>& ZoomView() const { return FZoomView; }
    const std::optional<quillora::TStoryItem>& Picture() const { return FPicture; }
    // Where a point of the picture lands in the widget, and back.
    QPointF ToWidget(QPointF picturePoint) const;
    QPoint ToPicture(QPointF widgetPoint) const;
    // The caption drawn at a widget point, or -1 (its document index).
    int CaptionAt(QPointF widgetPoint) const;

  signals:
    void CursorChosen(int x, int y);
    void CaptionMoved(int documentIndex, int x, int y);

  protected:
    void paintEvent(QPaintEvent*) override;
    void mousePressEvent(QMouseEvent*) override;
    void mouseMoveEvent(QMouseEvent*) override;
    void mouseReleaseEvent(QMouseEvent*) override;
    void keyPressEvent(QKeyEvent*) override;

  private:
    QRectF PictureRect() const;
    QRectF CaptionRect(const quillora::TStoryItem& caption) const; // in picture pixels
    void Announce();

    TThumbnailCache& Cache;
    std::optional<quillora::TStoryItem> FPicture;
    std::vector<quillora::TStoryItem> Captions;
    std::optional<QRectF> FZoomView;
    QPoint Cursor;     // the mark; moved with the arrow keys before Enter
    int Dragging = -1; // caption being dragged
    QPointF DragFrom;
    QPoint DragOffset;
};

class TStoryboard : public QWidget {
    Q_OBJECT
  public:
    explicit TStoryboard(QWidget* parent = nullptr);

    // The project's editor, or null: the area stays empty and white.
    void SetEditor(quillora::TProjectEditor* editor);
    // Reads the document again, keeping the selection where it can;
    // selectIndex (a document index) is selected when given.
    void Reload(int selectIndex = -1);

    // Document indexes of the selected tiles.
    std::vector<int32_t> SelectedIndexes() const;
    // The selected picture, or the picture of the selected caption or sound.
    std::optional<quillora::TStoryItem> CurrentPicture() const;
    // The selected caption, if the current tile is one.
    std::optional<quillora::TStoryItem> CurrentCaption() const;

    // What a zooming video shows of each picture (by document index, in
    // stage pixels); asked again on every Reload. Unset or empty: no zoom.
    std::function<std::map<int32_t, QRectF>()> ZoomViews;

    // Runs an edit; the window sets it to show errors in a message box.
    std::function<void(const std::function<void()>&)> RunEdit;

    QListView* Strip() const { return FStrip; }
    TPictureView* Large() const { return FLarge; }
    TStoryboardModel* Model() const { return FModel; }
    TThumbnailCache* Thumbnails() const { return FCache; }

  signals:
    // The document changed through the storyboard itself.
    void Edited();
    void SelectionChanged();
    // Enter or F2 on a tile: the user wants to write the text of its step.
    void CaptionRequested();

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void ShowCurrent();
    void Run(const std::function<void()>& edit);

    TThumbnailCache* FCache;
    TStoryboardModel* FModel;
    QListView* FStrip;
    TPictureView* FLarge;
    quillora::TProjectEditor* FEditor = nullptr;
    std::map<int32_t, QRectF> FZoomViews;
};
