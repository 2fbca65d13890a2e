#include <zyn/platform/wayland/WaylandSeat.h>

#include <sys/mman.h>
#include <unistd.h>

#include <linux/input-event-codes.h>
#include <wayland-client.h>
#include <xkbcommon/xkbcommon.h>

#include <zyn/core/Log.h>
#include <zyn/platform/wayland/WaylandWindowSurface.h>

namespace Zyn {

int WaylandKeySymToKeyCode(unsigned keysym) {
    if (keysym >= XKB_KEY_a && keysym <= XKB_KEY_z) return int(keysym - XKB_KEY_a) + 'A';
    if (keysym >= XKB_KEY_A && keysym <= XKB_KEY_Z) return int(keysym - XKB_KEY_A) + 'A';
    if (keysym >= XKB_KEY_0 && keysym <= XKB_KEY_9) return int(keysym - XKB_KEY_0) + '0';
    if (keysym >= XKB_KEY_F1 && keysym <= XKB_KEY_F12) return int(keysym - XKB_KEY_F1) + 112;
    if (keysym >= XKB_KEY_KP_0 && keysym <= XKB_KEY_KP_9) return int(keysym - XKB_KEY_KP_0) + 96;
    switch (keysym) {
        case XKB_KEY_BackSpace:
            return 8;
        case XKB_KEY_Tab:
            return 9;
        case XKB_KEY_Return:
        case XKB_KEY_KP_Enter:
            return 13;
        case XKB_KEY_Shift_L:
        case XKB_KEY_Shift_R:
            return 16;
        case XKB_KEY_Control_L:
        case XKB_KEY_Control_R:
            return 17;
        case XKB_KEY_Alt_L:
        case XKB_KEY_Alt_R:
            return 18;
        case XKB_KEY_Pause:
            return 19;
        case XKB_KEY_Escape:
            return 27;
        case XKB_KEY_space:
            return 32;
        case XKB_KEY_Prior:
            return 33;
        case XKB_KEY_Next:
            return 34;
        case XKB_KEY_End:
            return 35;
        case XKB_KEY_Home:
            return 36;
        case XKB_KEY_Left:
            return 37;
        case XKB_KEY_Up:
            return 38;
        case XKB_KEY_Right:
            return 39;
        case XKB_KEY_Down:
            return 40;
        case XKB_KEY_Insert:
            return 45;
        case XKB_KEY_Delete:
            return 46;
        default:
            return 0;
    }
}

struct WaylandSeat::Handlers {
    static void Capabilities(void* data, wl_seat*, uint32_t caps) {
        static_cast<WaylandSeat*>(data)->SetCapabilities(caps);
    }
    static void Name(void*, wl_seat*, const char*) {}

    static void PointerEnter(void* data, wl_pointer* pointer, uint32_t serial, wl_surface* surface, wl_fixed_t x,
                             wl_fixed_t y) {
        WaylandSeat* self = static_cast<WaylandSeat*>(data);
        self->m_pPointerSurface = surface;
        if (self->m_Client.IsCursorHidden()) wl_pointer_set_cursor(pointer, serial, nullptr, 0, 0);
        // Where the pointer is, as a position like any other: a surface
        // mapped under a still pointer learns where it rests, which is what
        // later motion is measured from.
        PointerMotion(data, pointer, 0, x, y);
    }
    static void PointerLeave(void* data, wl_pointer*, uint32_t, wl_surface* surface) {
        WaylandSeat* self = static_cast<WaylandSeat*>(data);
        if (self->m_pPointerSurface == surface) self->m_pPointerSurface = nullptr;
    }
    static void PointerMotion(void* data, wl_pointer*, uint32_t, wl_fixed_t x, wl_fixed_t y) {
        WaylandSeat* self = static_cast<WaylandSeat*>(data);
        int drawX = 0, drawY = 0;
        if (self->m_pPointerSurface && self->m_Client.MapPointer(self->m_pPointerSurface, wl_fixed_to_double(x),
                                                                 wl_fixed_to_double(y), drawX, drawY))
            self->m_Client.OnInput(3, drawX, drawY);
    }
    static void PointerButton(void* data, wl_pointer*, uint32_t, uint32_t, uint32_t button, uint32_t state) {
        WaylandSeat* self = static_cast<WaylandSeat*>(data);
        const int code = button == BTN_LEFT ? 1 : button == BTN_RIGHT ? 2 : 0;
        if (code && self->m_pPointerSurface)
            self->m_Client.OnInput(state == WL_POINTER_BUTTON_STATE_PRESSED ? 0 : 1, code, 0);
    }
    static void PointerAxis(void*, wl_pointer*, uint32_t, uint32_t, wl_fixed_t) {}
    static void PointerFrame(void*, wl_pointer*) {}
    static void PointerAxisSource(void*, wl_pointer*, uint32_t) {}
    static void PointerAxisStop(void*, wl_pointer*, uint32_t, uint32_t) {}
    static void PointerAxisDiscrete(void*, wl_pointer*, uint32_t, int32_t) {}

    static void KeyboardKeymap(void* data, wl_keyboard*, uint32_t format, int32_t fd, uint32_t size) {
        static_cast<WaylandSeat*>(data)->SetKeymap(format, fd, size);
    }
    static void KeyboardEnter(void*, wl_keyboard*, uint32_t, wl_surface*, wl_array*) {}
    static void KeyboardLeave(void*, wl_keyboard*, uint32_t, wl_surface*) {}
    static void KeyboardKey(void* data, wl_keyboard*, uint32_t, uint32_t, uint32_t key, uint32_t state) {
        static_cast<WaylandSeat*>(data)->HandleKey(key, state == WL_KEYBOARD_KEY_STATE_PRESSED);
    }
    static void KeyboardModifiers(void* data, wl_keyboard*, uint32_t, uint32_t depressed, uint32_t latched,
                                  uint32_t locked, uint32_t group) {
        WaylandSeat* self = static_cast<WaylandSeat*>(data);
        if (self->m_pState) xkb_state_update_mask(self->m_pState, depressed, latched, locked, 0, 0, group);
    }
    static void KeyboardRepeatInfo(void*, wl_keyboard*, int32_t, int32_t) {}
};

namespace {

const wl_seat_listener kSeatListener = {&WaylandSeat::Handlers::Capabilities, &WaylandSeat::Handlers::Name};

wl_pointer_listener MakePointerListener() {
    wl_pointer_listener l = {};
    l.enter = &WaylandSeat::Handlers::PointerEnter;
    l.leave = &WaylandSeat::Handlers::PointerLeave;
    l.motion = &WaylandSeat::Handlers::PointerMotion;
    l.button = &WaylandSeat::Handlers::PointerButton;
    l.axis = &WaylandSeat::Handlers::PointerAxis;
    l.frame = &WaylandSeat::Handlers::PointerFrame;
    l.axis_source = &WaylandSeat::Handlers::PointerAxisSource;
    l.axis_stop = &WaylandSeat::Handlers::PointerAxisStop;
    l.axis_discrete = &WaylandSeat::Handlers::PointerAxisDiscrete;
    return l;
}
const wl_pointer_listener kPointerListener = MakePointerListener();

const wl_keyboard_listener kKeyboardListener = {
    &WaylandSeat::Handlers::KeyboardKeymap, &WaylandSeat::Handlers::KeyboardEnter,
    &WaylandSeat::Handlers::KeyboardLeave,  &WaylandSeat::Handlers::KeyboardKey,
    &WaylandSeat::Handlers::KeyboardModifiers, &WaylandSeat::Handlers::KeyboardRepeatInfo};

}  // namespace

WaylandSeat::WaylandSeat(wl_seat* seat, uint32_t globalName, WaylandInputClient& client, xkb_context* context)
    : m_pSeat(seat),
      m_GlobalName(globalName),
      m_Version(wl_seat_get_version(seat)),
      m_Client(client),
      m_pContext(context) {
    wl_seat_add_listener(m_pSeat, &kSeatListener, this);
}

WaylandSeat::~WaylandSeat() {
    SetCapabilities(0);
    if (m_Version >= WL_SEAT_RELEASE_SINCE_VERSION)
        wl_seat_release(m_pSeat);
    else
        wl_seat_destroy(m_pSeat);
}

void WaylandSeat::SetCapabilities(uint32_t caps) {
    const bool wantPointer = (caps & WL_SEAT_CAPABILITY_POINTER) != 0;
    const bool wantKeyboard = (caps & WL_SEAT_CAPABILITY_KEYBOARD) != 0;
    if (wantPointer && !m_pPointer) {
        m_pPointer = wl_seat_get_pointer(m_pSeat);
        wl_pointer_add_listener(m_pPointer, &kPointerListener, this);
    } else if (!wantPointer && m_pPointer) {
        if (m_Version >= WL_POINTER_RELEASE_SINCE_VERSION)
            wl_pointer_release(m_pPointer);
        else
            wl_pointer_destroy(m_pPointer);
        m_pPointer = nullptr;
        m_pPointerSurface = nullptr;
    }
    if (wantKeyboard && !m_pKeyboard) {
        m_pKeyboard = wl_seat_get_keyboard(m_pSeat);
        wl_keyboard_add_listener(m_pKeyboard, &kKeyboardListener, this);
    } else if (!wantKeyboard && m_pKeyboard) {
        if (m_Version >= WL_KEYBOARD_RELEASE_SINCE_VERSION)
            wl_keyboard_release(m_pKeyboard);
        else
            wl_keyboard_destroy(m_pKeyboard);
        m_pKeyboard = nullptr;
    }
    if (!m_pKeyboard) {
        xkb_state_unref(m_pState);
        xkb_keymap_unref(m_pKeymap);
        m_pState = nullptr;
        m_pKeymap = nullptr;
    }
}

void WaylandSeat::SetKeymap(uint32_t format, int fd, uint32_t size) {
    if (!m_pContext) {
        // Without xkbcommon's context no key can be read; the pointer still works.
        if (fd >= 0) close(fd);
        return;
    }
    xkb_keymap* keymap = nullptr;
    if (format == WL_KEYBOARD_KEYMAP_FORMAT_XKB_V1 && size > 0) {
        // Seats from version 7 on insist on a private map; it suits the
        // older ones as well.
        void* text = mmap(nullptr, size, PROT_READ, MAP_PRIVATE, fd, 0);
        if (text != MAP_FAILED) {
            keymap = xkb_keymap_new_from_buffer(m_pContext, static_cast<const char*>(text), size - 1,
                                                XKB_KEYMAP_FORMAT_TEXT_V1, XKB_KEYMAP_COMPILE_NO_FLAGS);
            munmap(text, size);
        }
    }
    if (fd >= 0) close(fd);
    if (!keymap) {
        // Key codes are evdev codes either way: the default layout still
        // names Escape, Return, Space, letters, digits, arrows and F-keys.
        LogSend(kLogWarning, "WaylandWindowSurface -> the compositor sent no usable keymap; using the default");
        xkb_rule_names names = {};
        keymap = xkb_keymap_new_from_names(m_pContext, &names, XKB_KEYMAP_COMPILE_NO_FLAGS);
    }
    xkb_state_unref(m_pState);
    xkb_keymap_unref(m_pKeymap);
    m_pKeymap = keymap;
    m_pState = keymap ? xkb_state_new(keymap) : nullptr;
}

void WaylandSeat::HandleKey(uint32_t key, bool down) {
    if (!m_pState) return;
    // XKB numbers keys from the evdev code plus 8.
    const xkb_keycode_t keycode = key + 8;
    const int code = WaylandKeySymToKeyCode(xkb_state_key_get_one_sym(m_pState, keycode));
    if (code) m_Client.OnInput(down ? 0 : 1, code, 0);
    // The character follows its key, Latin-1 only, as the X11 backend sends it.
    if (down) {
        const uint32_t ch = xkb_state_key_get_utf32(m_pState, keycode);
        if (ch > 0 && ch < 256) m_Client.OnInput(2, int(ch), 0);
    }
}

}  // namespace Zyn
