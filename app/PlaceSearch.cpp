// Finding a place and reading the place under the pointer: the window's side of both.
#include "app/MainForm.h"

#include "render/OpenGLPanel.h"
#include "render/PointerReadout.h"
#include "ui/FindBox.h"
#include "waypoints/PlaceFinder.h"

namespace nimbora {

void TMainForm::FindBtClick() {
    // The names are complete only once the start-up has built the list.
    if (!StartedUp) return;
    if (!FindBox) {
        FindBox = new TFindBox(this);
        // Over a globe drawn into a native window only another native window is seen.
        if (OpenGLPanel->NativeWindow()) FindBox->setAttribute(Qt::WA_NativeWindow);
        FindBox->OnGo = [this](const TPlace& place) {
            GlideTo(Nav, place.Lat, place.Lon);
            setFocus();
            OpenGLPanel->RequestFrame();
        };
        FindBox->OnClose = [this] { setFocus(); };
    }
    FindBox->Open(TPlaceIndex(DrawPoints));
}

void TMainForm::PointerMoved(std::optional<QPointF> at) {
    PointerAt = at;
    UpdatePointerReadout();
}

void TMainForm::ViewTick(bool moved) {
    // While the globe turns the text waits; it is read again once the view has settled.
    if (ViewMoving && !moved) UpdatePointerReadout();
    ViewMoving = moved;
}

void TMainForm::UpdatePointerReadout() {
    std::string text;
    if (StartedUp && PointerAt)
        text = PointerReadout(GlobePointAt(PointerAt->x(), PointerAt->y(), OpenGLPanel->width(),
                                           OpenGLPanel->height(), Nav.Proj),
                              DrawPoints);
    if (text == PointerText) return;
    PointerText = std::move(text);
    OpenGLPanel->RequestFrame();
}

} // namespace nimbora
