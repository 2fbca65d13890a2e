// One wl_seat of the Wayland backend: its pointer and keyboard, translated
// into the framework's codes exactly as the X11 backend sends them. Keys go
// through xkbcommon with the compositor's keymap. Backend-internal; frame
// thread only.
#pragma once

#include <cstdint>

struct wl_keyboard;
struct wl_pointer;
struct wl_seat;
struct wl_surface;
struct xkb_context;
struct xkb_keymap;
struct xkb_state;

namespace Zyn {

/// What a seat needs from the window it reports to.
class WaylandInputClient {
public:
    virtual ~WaylandInputClient() = default;
    /// One event as the arguments of Root::ProcessSystemEvent.
    virtual void OnInput(int code, int a, int b) = 0;
    /// A surface-local position in the drawing's pixels; false when the
    /// surface is not one of the window's.
    virtual bool MapPointer(wl_surface* surface, double x, double y, int& drawX, int& drawY) = 0;
    virtual bool IsCursorHidden() const = 0;
};

class WaylandSeat {
public:
    /// Takes `seat` (bound by the caller). `client` and `context` are
    /// borrowed and must outlive the seat.
    WaylandSeat(wl_seat* seat, uint32_t globalName, WaylandInputClient& client, xkb_context* context);
    /// Releases the devices and the seat.
    ~WaylandSeat();
    WaylandSeat(const WaylandSeat&) = delete;
    WaylandSeat& operator=(const WaylandSeat&) = delete;

    /// The registry name the seat was bound from.
    uint32_t GetGlobalName() const { return m_GlobalName; }

    struct Handlers;

private:
    void SetCapabilities(uint32_t caps);
    void SetKeymap(uint32_t format, int fd, uint32_t size);
    void HandleKey(uint32_t key, bool down);

    wl_seat* m_pSeat;  // owned
    uint32_t m_GlobalName;
    uint32_t m_Version;
    WaylandInputClient& m_Client;
    xkb_context* m_pContext;          // borrowed
    wl_pointer* m_pPointer = nullptr;  // owned
    wl_keyboard* m_pKeyboard = nullptr;  // owned
    xkb_keymap* m_pKeymap = nullptr;   // owned
    xkb_state* m_pState = nullptr;     // owned
    wl_surface* m_pPointerSurface = nullptr;  // borrowed: the surface under the pointer
};

}  // namespace Zyn
