// A test client that gives the compositor's seat a keyboard and a pointer
// of its own (virtual devices), so that a headless compositor without input
// hardware delivers keys and buttons to our surfaces.
#pragma once

#include <cstdint>
#include <string>

struct wl_display;
struct wl_registry;
struct wl_seat;
struct zwp_virtual_keyboard_manager_v1;
struct zwp_virtual_keyboard_v1;
struct zwlr_virtual_pointer_manager_v1;
struct zwlr_virtual_pointer_v1;

namespace ZynTest {

class VirtualInput {
public:
    VirtualInput() = default;
    ~VirtualInput();
    VirtualInput(const VirtualInput&) = delete;
    VirtualInput& operator=(const VirtualInput&) = delete;

    /// Connects to the socket and makes both devices, with a US keymap on
    /// the keyboard. False when the compositor offers no virtual devices.
    bool Connect(const std::string& socketPath);
    /// Presses or releases an evdev key code.
    void Key(uint32_t key, bool down);
    /// Presses or releases an evdev button code.
    void Button(uint32_t button, bool down);

    struct Globals;

private:
    wl_display* m_pDisplay = nullptr;
    wl_registry* m_pRegistry = nullptr;
    wl_seat* m_pSeat = nullptr;
    zwp_virtual_keyboard_manager_v1* m_pKeyboardManager = nullptr;
    zwlr_virtual_pointer_manager_v1* m_pPointerManager = nullptr;
    zwp_virtual_keyboard_v1* m_pKeyboard = nullptr;
    zwlr_virtual_pointer_v1* m_pPointer = nullptr;
    uint32_t m_Time = 0;
};

}  // namespace ZynTest
