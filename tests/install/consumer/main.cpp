// Creates an object by class name through the installed framework and
// prints what it made; exits non-zero when anything is missing.
#include <cstdio>

#include <zyn/Zyn.h>

int main() {
    Zyn::Class* cls = Zyn::Class::FindClass("StdOutLogOutput");
    if (!cls) return 1;
    Zyn::Object* obj = cls->CreateInstance("made-by-name");
    if (!obj) return 2;
    std::printf("%s %s\n", obj->GetObjectClassName().c_str(), obj->GetName().c_str());
    obj->Release();
    Zyn::Singleton<Zyn::Root>::Get()->Release();
    return 0;
}
