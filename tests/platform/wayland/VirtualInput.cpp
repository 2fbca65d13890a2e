#include "VirtualInput.h"

#include <sys/mman.h>
#include <unistd.h>

#include <cstring>

#include <wayland-client.h>
#include <xkbcommon/xkbcommon.h>

#include "virtual-keyboard-unstable-v1-client-protocol.h"
#include "wlr-virtual-pointer-unstable-v1-client-protocol.h"

namespace ZynTest {

struct VirtualInput::Globals {
    static void Add(void* data, wl_registry* registry, uint32_t name, const char* interface, uint32_t) {
        VirtualInput* self = static_cast<VirtualInput*>(data);
        if (!std::strcmp(interface, wl_seat_interface.name) && !self->m_pSeat)
            self->m_pSeat = static_cast<wl_seat*>(wl_registry_bind(registry, name, &wl_seat_interface, 1));
        else if (!std::strcmp(interface, zwp_virtual_keyboard_manager_v1_interface.name))
            self->m_pKeyboardManager = static_cast<zwp_virtual_keyboard_manager_v1*>(
                wl_registry_bind(registry, name, &zwp_virtual_keyboard_manager_v1_interface, 1));
        else if (!std::strcmp(interface, zwlr_virtual_pointer_manager_v1_interface.name))
            self->m_pPointerManager = static_cast<zwlr_virtual_pointer_manager_v1*>(
                wl_registry_bind(registry, name, &zwlr_virtual_pointer_manager_v1_interface, 1));
    }
    static void Remove(void*, wl_registry*, uint32_t) {}
};

namespace {

const wl_registry_listener kRegistryListener = {&VirtualInput::Globals::Add, &VirtualInput::Globals::Remove};

}  // namespace

VirtualInput::~VirtualInput() {
    if (m_pKeyboard) zwp_virtual_keyboard_v1_destroy(m_pKeyboard);
    if (m_pPointer) zwlr_virtual_pointer_v1_destroy(m_pPointer);
    if (m_pPointerManager) zwlr_virtual_pointer_manager_v1_destroy(m_pPointerManager);
    if (m_pKeyboardManager) wl_proxy_destroy(reinterpret_cast<wl_proxy*>(m_pKeyboardManager));
    if (m_pSeat) wl_seat_destroy(m_pSeat);
    if (m_pRegistry) wl_registry_destroy(m_pRegistry);
    if (m_pDisplay) {
        wl_display_roundtrip(m_pDisplay);
        wl_display_disconnect(m_pDisplay);
    }
}

bool VirtualInput::Connect(const std::string& socketPath) {
    m_pDisplay = wl_display_connect(socketPath.c_str());
    if (!m_pDisplay) return false;
    m_pRegistry = wl_display_get_registry(m_pDisplay);
    wl_registry_add_listener(m_pRegistry, &kRegistryListener, this);
    if (wl_display_roundtrip(m_pDisplay) < 0 || !m_pSeat || !m_pKeyboardManager || !m_pPointerManager)
        return false;

    xkb_context* context = xkb_context_new(XKB_CONTEXT_NO_FLAGS);
    xkb_rule_names names = {};
    names.layout = "us";
    xkb_keymap* keymap = context ? xkb_keymap_new_from_names(context, &names, XKB_KEYMAP_COMPILE_NO_FLAGS) : nullptr;
    char* text = keymap ? xkb_keymap_get_as_string(keymap, XKB_KEYMAP_FORMAT_TEXT_V1) : nullptr;
    xkb_keymap_unref(keymap);
    xkb_context_unref(context);
    if (!text) return false;
    const size_t size = std::strlen(text) + 1;
    const int fd = memfd_create("zyn-test-keymap", MFD_CLOEXEC);
    const bool written = fd >= 0 && write(fd, text, size) == ssize_t(size);
    free(text);
    if (!written) {
        if (fd >= 0) close(fd);
        return false;
    }
    m_pKeyboard = zwp_virtual_keyboard_manager_v1_create_virtual_keyboard(m_pKeyboardManager, m_pSeat);
    zwp_virtual_keyboard_v1_keymap(m_pKeyboard, WL_KEYBOARD_KEYMAP_FORMAT_XKB_V1, fd, uint32_t(size));
    close(fd);
    m_pPointer = zwlr_virtual_pointer_manager_v1_create_virtual_pointer(m_pPointerManager, m_pSeat);
    return wl_display_roundtrip(m_pDisplay) >= 0;
}

void VirtualInput::Key(uint32_t key, bool down) {
    zwp_virtual_keyboard_v1_key(m_pKeyboard, ++m_Time, key,
                                down ? WL_KEYBOARD_KEY_STATE_PRESSED : WL_KEYBOARD_KEY_STATE_RELEASED);
    wl_display_roundtrip(m_pDisplay);
}

void VirtualInput::Button(uint32_t button, bool down) {
    zwlr_virtual_pointer_v1_button(m_pPointer, ++m_Time, button,
                                   down ? WL_POINTER_BUTTON_STATE_PRESSED : WL_POINTER_BUTTON_STATE_RELEASED);
    zwlr_virtual_pointer_v1_frame(m_pPointer);
    wl_display_roundtrip(m_pDisplay);
}

}  // namespace ZynTest
