#include "Effects.h"

namespace AssetGen {

bool BuildEffects(std::vector<EffectFile>& out) {
    out.clear();
    return true;
}

}  // namespace AssetGen
