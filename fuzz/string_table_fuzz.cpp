// String tables ("<language>.utf8") read through a package serving the
// input, and StringUtf8::var over the texts read and over the raw input.
#include <cstring>
#include <string>

#include <zyn/core/Root.h>
#include <zyn/core/StringUtf8.h>

#include "FuzzSupport.h"

namespace {

// Names a table of this kind would define; the fuzzer finds others.
const char* const kNames[] = {"title", "a", "STR_OK", "x_1"};

// Placeholders beyond the arguments given, or naming a null one, stay as
// they stand: the result can be checked without knowing the texts.
void CheckVar(const Zyn::StringUtf8& text) {
    const int counts[] = {-1, 0, 2, 9, 12};
    for (int n : counts) {
        const Zyn::StringUtf8& out = Zyn::StringUtf8(text).var(n, "one", nullptr, "three", "4", "5", "6", "7", "8",
                                                               "nine", "10", "11", "12");
        if (n <= 0) ZYN_FUZZ_CHECK(out == text);
        ZYN_FUZZ_CHECK(out.size() <= text.size() * 5);
    }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    ZynFuzz::Init();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Zyn::Root* root = Zyn::Singleton<Zyn::Root>::Get();
    ZynFuzz::Package()->Set("fuzz.utf8", data, size);
    root->SetLanguage("fuzz");
    for (const char* name : kNames) {
        if (!root->IsStringDefined(name)) continue;
        const Zyn::StringUtf8* s = root->GetString(name);
        // Texts reach the font renderer: the reader keeps them valid UTF-8.
        ZYN_FUZZ_CHECK(s->IsValidUtf8());
        ZYN_FUZZ_CHECK(std::strlen(s->c_str()) <= s->size());
        CheckVar(*s);
    }
    const int again = root->ReadStringTable("fuzz.utf8");
    ZYN_FUZZ_CHECK(again >= -1);
    if (size == 0) ZYN_FUZZ_CHECK(again == -1);

    Zyn::StringUtf8 raw(std::string(reinterpret_cast<const char*>(data), size).c_str());
    CheckVar(raw);
    Zyn::StringUtf8 repaired(raw);
    if (repaired.ReplaceInvalidUtf8()) ZYN_FUZZ_CHECK(repaired.IsValidUtf8());

    root->ClearStringTable();
    ZynFuzz::Package()->Clear();
    return 0;
}
