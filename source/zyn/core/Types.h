// Plain value types shared by every layer of the framework.
#pragma once

#include <cmath>
#include <cstdint>

namespace Zyn {

typedef int32_t s32;
typedef uint32_t u32;
typedef int16_t s16;
typedef uint16_t u16;
typedef int8_t s8;
typedef uint8_t u8;
typedef float f32;

/// A colour read as the integer 0xAARRGGBB. A type of its own so that
/// reflected properties can tell it from a plain u32.
struct Color {
    u32 value;
    constexpr Color(u32 argb = 0) : value(argb) {}
    constexpr operator u32() const { return value; }
    constexpr u8 A() const { return u8(value >> 24); }
    constexpr u8 R() const { return u8(value >> 16); }
    constexpr u8 G() const { return u8(value >> 8); }
    constexpr u8 B() const { return u8(value); }
};

template <class T>
struct Point2D {
    T x = T();
    T y = T();
    constexpr Point2D() = default;
    constexpr Point2D(T px, T py) : x(px), y(py) {}
    bool operator==(const Point2D& o) const { return x == o.x && y == o.y; }
    bool operator!=(const Point2D& o) const { return !(*this == o); }
    Point2D operator+(const Point2D& o) const { return Point2D(x + o.x, y + o.y); }
    Point2D operator-(const Point2D& o) const { return Point2D(x - o.x, y - o.y); }
    Point2D operator*(T s) const { return Point2D(x * s, y * s); }

    /// Only meaningful for floating-point T.
    T Length() const { return T(std::sqrt(x * x + y * y)); }
    /// Scales to unit length; a zero vector stays zero. Returns the old length.
    T Normalize() {
        T len = Length();
        if (len > T(0)) {
            x /= len;
            y /= len;
        }
        return len;
    }
};

template <class T>
struct Point3D {
    T x = T();
    T y = T();
    T z = T();
    constexpr Point3D() = default;
    constexpr Point3D(T px, T py, T pz) : x(px), y(py), z(pz) {}
    bool operator==(const Point3D& o) const { return x == o.x && y == o.y && z == o.z; }
    bool operator!=(const Point3D& o) const { return !(*this == o); }
};

/// Left-top corner (x1, y1) and right-bottom corner (x2, y2).
template <class T>
struct Rect {
    T x1 = T();
    T y1 = T();
    T x2 = T();
    T y2 = T();
    constexpr Rect() = default;
    constexpr Rect(T l, T t, T r, T b) : x1(l), y1(t), x2(r), y2(b) {}
};

/// Start-up record given to Root::Init and copied by Root.
struct AppSettings {
    s32 screenWidth = 0;
    s32 screenHeight = 0;
    s32 appWidth = 0;
    s32 appHeight = 0;
    const char* appName = nullptr;
    const char* appVersion = nullptr;
    bool windowed = false;
    bool vsync = false;
    bool reserved1 = false;
    bool reserved2 = false;
};

}  // namespace Zyn
