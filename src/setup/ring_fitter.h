// RingFitter: fitting the doughnut geometry by hand in the setup utility, on
// top of the keypad. GUI thread only.
//
//  - Drags on the doughnut picture: inside the ring moves the cut area, on
//    the red edge resizes the outer circle about its centre, on the yellow
//    edge resizes the inner circle; the pointer shape tells which. The wheel
//    resizes the circle under the pointer.
//  - Keys in either window: arrows move the cut area, + / - resize the outer
//    circle, ] / [ the inner one; Shift makes a step five times larger.
//    Holding Space over the picture shows the magnifier.
//  - A "Geometry" dialog for typing the five values, applied live.
//  - A magnifier that shows the frame at full resolution around the pointer
//    while dragging, with the circles over it.
//  - Undo / redo of every geometry change (a drag is one step; the keypad's
//    steps too) and "Revert to saved".
//
// Every change goes into the record under its lock in one update, as a
// keypad step does, so it shows in both pictures at the next pumped frame.
#pragma once

#include <QObject>
#include <QPointF>
#include <QString>

#include "config/doughnut_geometry.h"
#include "setup/overlay.h"
#include "setup/ring_fitting.h"

class QAction;
class QDialog;
class QUndoStack;

namespace hv::setup {

class FitMagnifier;
class SetupMainWindow;

class RingFitter : public QObject {
    Q_OBJECT
  public:
    // `saved` is the geometry the record was read with (what "Revert to
    // saved" restores until the next save).
    RingFitter(SetupMainWindow& window, const DoughnutGeometry& saved);
    ~RingFitter() override;

    // A change made elsewhere (a keypad step) that has already been applied
    // to the record: recorded as one undo step.
    void Recorded(const DoughnutGeometry& before, const DoughnutGeometry& after,
                  const QString& text);
    // The record's geometry has been written to the configuration file.
    void MarkSaved(const DoughnutGeometry& g) { saved_ = g; }
    // A full-size frame from the preview worker, for the magnifier.
    void TakeFrame(const QImage& frame);

    void Undo();
    void Redo();
    void RevertToSaved();
    // Opens the "Geometry" dialog (window-modal, not blocking) and returns it.
    QDialog* OpenGeometryDialog();

    QUndoStack* UndoStack() const { return undo_; }
    // What a press at picture point p would take hold of now.
    FitHandle HandleAt(QPointF p) const;
    bool MagnifierShown() const;
    QSize MagnifierFrameSize() const;

  protected:
    bool eventFilter(QObject* watched, QEvent* e) override;

  private:
    void BuildMenu();
    // The layout of the current geometry for the open stream's frame; no
    // ring when no stream is shown.
    OverlayLayout CurrentLayout() const;
    DoughnutGeometry Current() const;
    // Writes the five fitted values into the record (flips untouched) and
    // refreshes the labels and the magnifier. No undo step.
    void Apply(const DoughnutGeometry& g);
    // Applies `after` as one undo step.
    void Edit(const DoughnutGeometry& after, const QString& text);

    bool PictureMouse(QEvent* e);
    bool Key(QObject* watched, QEvent* e);
    void ShowMagnifier(QPointF at);
    void HideMagnifier();

    friend class GeometryChange;

    SetupMainWindow& w_;
    QUndoStack* undo_;
    DoughnutGeometry saved_;

    // The drag in progress.
    FitHandle dragHandle_ = FitHandle::None;
    QPointF dragFrom_;
    DoughnutGeometry dragStart_;
    OverlayLayout dragLayout_;

    bool spaceHeld_ = false;
    FitMagnifier* magnifier_ = nullptr;
};

}  // namespace hv::setup
