// The last screen: the scene's particle effects over a stone wall, one at a
// time. Left and Right (or P and N) switch, Space replays, and after a few
// seconds the next effect comes on by itself. A switched-off effect stops
// emitting and its particles live out their lives.
//
// The resources it uses must be loaded before it is built (the loader does
// that): it takes them from their managers in its constructor.
#pragma once

#include <string>
#include <vector>

#include <zyn/app/Widget.h>
#include <zyn/core/Object.h>

namespace Zyn {
class ParticleEffectInstance;
class Texture;
}  // namespace Zyn

namespace Demo {

class ScaledTextWidget;

class Playground : public Zyn::Widget {
    ZYN_DECLARE_CLASS(Playground)

public:
    /// playerName goes into the greeting.
    explicit Playground(const std::string& playerName);
    /// Gives back every instance it still holds.
    ~Playground() override;

    /// Keys, the automatic switch, the running instances, then the children. True.
    bool UpdateOffset(float dt, Zyn::Point3D<float> offset) override;
    /// The wall, the trophy of the effect if it has one, the particles, then the texts. True.
    bool RenderOffset(float dt, Zyn::Point3D<float> offset, const Zyn::Rect<float>* clip) override;

    /// Switches to the effect of that index (wrapping around) and starts it.
    void Select(int index);
    int GetCurrent() const { return m_Current; }
    /// Borrowed; null when the effect could not be loaded.
    Zyn::ParticleEffectInstance* GetCurrentInstance() const { return m_pInstance; }
    /// Instances still fading out.
    size_t GetFadingCount() const { return m_Fading.size(); }

    /// Seconds an effect stays on before the next one comes.
    static constexpr float kAutoSeconds = 4.0f;

private:
    std::vector<Zyn::ParticleEffectInstance*> m_Fading;  // one reference each
    Zyn::ParticleEffectInstance* m_pInstance = nullptr;  // one reference
    Zyn::Ref<Zyn::Texture> m_Wall;
    Zyn::Ref<Zyn::Texture> m_Trophies;
    ScaledTextWidget* m_pEffectName = nullptr;  // a child
    int m_Current = -1;
    float m_fShown = 0.0f;
};

}  // namespace Demo
