// Generated file: the compiled-in debug font. Do not edit; regenerate it
// with the font tools. Until the font is generated the three files are empty
// and CppPackage serves none of them.
#include <zyn/io/CppPackageData.h>

namespace Zyn {
namespace CppPackageData {

namespace {

// A C++ array cannot have zero elements; the sizes below are what counts.
const unsigned char kDebugFontTga[1] = {0};
const unsigned char kDebugFontZynFnt[1] = {0};
const unsigned char kDebugFontTgaEx[1] = {0};

}  // namespace

const CompiledFile g_Files[] = {
    {"debugfont.tga", kDebugFontTga, 0},
    {"debugfont.zyn_fnt", kDebugFontZynFnt, 0},
    {"debugfont.tga_ex", kDebugFontTgaEx, 0},
};
const unsigned int g_FileCount = sizeof g_Files / sizeof g_Files[0];

}  // namespace CppPackageData
}  // namespace Zyn
