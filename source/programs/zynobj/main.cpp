// zynobj: shows and changes object streams (particle effect files and save
// files) through the class records and their reflected properties.
// Exit status: 0 success, 1 failure or a damaged file, 2 bad usage.
#include <algorithm>
#include <cctype>
#include <cstdio>
#include <string>
#include <utility>
#include <vector>

#include <zyn/core/Property.h>
#include <zyn/core/Root.h>
#include <zyn/graphics/Texture.h>

#include "CommandArgs.h"
#include "ObjectDump.h"
#include "ObjectStreams.h"
#include "ObjectTree.h"
#include "ToolOutput.h"

using Zyn::Object;
using ZynObj::StreamContext;

using ZynTool::Args;
using ZynTool::Error;
using ZynTool::kExitFailed;
using ZynTool::kExitOk;
using ZynTool::OptionDef;
using ZynTool::Usage;

namespace {

const char* const kMainHelp =
    "Usage: zynobj COMMAND [OPTIONS] ARGS...\n"
    "Shows and changes object streams: particle effect files (.zyn) and save\n"
    "files (.setting, .profile).\n"
    "\n"
    "Commands:\n"
    "  dump   print every object with its properties and its children\n"
    "  set    change one property of one object and save the stream\n"
    "\n"
    "Options of every command:\n"
    "  --pack PACK     mount a pack file where the textures an effect names are\n"
    "                  found (may be repeated; searched in the order given)\n"
    "  --data DIR      mount a folder the same way\n"
    "  -v, --verbose   show the framework's information lines\n"
    "  -h, --help      show the help of the command\n"
    "\n"
    "Without --pack or --data, textures are shown and saved by their names all\n"
    "the same. Run 'zynobj COMMAND --help' for a command's options.\n";

const char* const kDumpHelp =
    "Usage: zynobj dump [--json] [--pack PACK] [--data DIR] FILE\n"
    "Prints the objects of FILE from the root down: for every object its class,\n"
    "its name and its path (see 'zynobj set --help'), the value of every property\n"
    "of its class and of the classes it derives from, each under the class that\n"
    "defines it, read-only ones marked, then its children by group.\n"
    "\n"
    "  --json   print JSON instead. Every object is\n"
    "           {\"class\", \"name\", \"path\", \"properties\": [{\"class\", \"label\",\n"
    "           \"type\", \"value\", \"readOnly\"}...], \"groups\": [{\"index\", \"label\",\n"
    "           \"children\": [objects]}...]}; an object met a second time is\n"
    "           {\"class\", \"name\", \"path\", \"sameAs\": path where it was shown}.\n"
    "\n"
    "Exits with 1 when FILE cannot be read, or is damaged (then what could be\n"
    "read is printed first).\n";

const char* const kSetHelp =
    "Usage: zynobj set [--force] [--pack PACK] [--data DIR] FILE OBJECT-PATH LABEL VALUE -o OUT\n"
    "Sets the property LABEL of the object at OBJECT-PATH to VALUE and writes the\n"
    "whole stream to OUT. Give -o FILE to change FILE in place: the stream is\n"
    "written to a temporary file beside OUT and renamed over it.\n"
    "\n"
    "  -o, --output OUT  where to write the stream (required)\n"
    "  --force           change read-only properties too, and save a stream that\n"
    "                    was not read cleanly\n"
    "\n"
    "Object paths name objects from the root down, separated by \"/\":\n"
    "  effect               the root object, named \"effect\"\n"
    "  .                    the root object, whatever its name\n"
    "  effect/emitter1      the root's child \"emitter1\" (in any of its groups)\n"
    "  ./emitter1/gravity   a child of that child\n"
    "  ./spark[2]           the second of several siblings named \"spark\"\n"
    "Inside a name \\/ stands for a slash and \\\\ for a backslash. 'zynobj dump'\n"
    "shows the path of every object.\n"
    "\n"
    "VALUE by the property's type (the \"type\" of 'zynobj dump --json'):\n"
    "  s32 u32 u16 u8   a whole number in the type's range (u32 also takes\n"
    "                   -2147483648 to -1, for the same bits)\n"
    "  f32              a number: 1.5, -2, 1e-3\n"
    "  bool             1 or 0, true or false, yes or no, on or off\n"
    "  Point2D_f32      two numbers separated by a comma: \"10, -4.5\"\n"
    "  Point3D_f32      three numbers separated by commas: \"512, 393, 0\"\n"
    "  string           any text; an object's name cannot be empty\n"
    "  Color            0xAARRGGBB, #AARRGGBB, or #RRGGBB for an opaque colour\n"
    "  Texture*         the name of a texture (kept by name when no mounted\n"
    "                   package holds it)\n";

/// Every command also takes --pack and --data.
Args ParseCommand(int argc, char** argv, std::vector<OptionDef> defs) {
    defs.push_back({nullptr, "--pack", true});
    defs.push_back({nullptr, "--data", true});
    return ZynTool::ParseArgs(argc, argv, 2, defs);
}

/// Mounts every --pack and --data in the order given; false after a message.
bool MountAll(const Args& a, StreamContext& context) {
    for (const auto& o : a.options) {
        std::string error;
        if (o.first == "--pack" && !context.MountPack(o.second, error)) {
            Error(error);
            return false;
        }
        if (o.first == "--data" && !context.MountFolder(o.second, error)) {
            Error(error);
            return false;
        }
    }
    return true;
}

void NoteMissingTextures(const StreamContext& context) {
    if (!context.HasMounts()) return;
    for (const std::string& name : context.MissingTextures())
        Error("note: no mounted package holds texture \"%s\"; it is kept by name", name.c_str());
}

int Dump(int argc, char** argv) {
    Args a = ParseCommand(argc, argv, {{nullptr, "--json", false}});
    if (a.help) {
        std::fputs(kDumpHelp, stdout);
        return kExitOk;
    }
    if (!a.problem.empty()) return Usage(a.problem, kDumpHelp);
    if (a.positional.size() != 1) return Usage("dump needs exactly one FILE", kDumpHelp);
    if (a.verbose) Zyn::Singleton<Zyn::Root>::Get()->m_LogLevel = Zyn::kLogInfo;
    const std::string& file = a.positional[0];

    StreamContext context;
    if (!MountAll(a, context)) return kExitFailed;
    StreamContext::Loaded loaded;
    std::string error;
    if (!context.Load(file, loaded, error)) {
        Error(error);
        return kExitFailed;
    }
    const std::string text =
        a.Has("--json") ? ZynObj::DumpJson(loaded.root.Get()) : ZynObj::DumpText(loaded.root.Get());
    std::fwrite(text.data(), 1, text.size(), stdout);
    if (std::fflush(stdout) != 0) {
        Error("cannot write to standard output");
        return kExitFailed;
    }
    NoteMissingTextures(context);
    int status = kExitOk;
    if (loaded.errors > 0) {
        Error("%s is damaged: %d error%s while reading it (see above); the values shown may be wrong",
              file.c_str(), loaded.errors, loaded.errors == 1 ? "" : "s");
        status = kExitFailed;
    }
    if (loaded.trailingBytes > 0) {
        Error("%s is damaged: %u bytes after its objects were not read", file.c_str(), loaded.trailingBytes);
        status = kExitFailed;
    }
    return status;
}

/// The label of a property of cls that differs from label only in case, or empty.
std::string SimilarLabel(Zyn::Class* cls, const std::string& label) {
    auto lower = [](std::string s) {
        for (char& c : s) c = char(std::tolower(static_cast<unsigned char>(c)));
        return s;
    };
    for (const ZynObj::PropertyEntry& e : ZynObj::CollectValueProperties(cls))
        if (lower(e.property->GetName()) == lower(label)) return e.property->GetName();
    return "";
}

int Set(int argc, char** argv) {
    Args a = ParseCommand(argc, argv, {{"-o", "--output", true}, {nullptr, "--force", false}});
    if (a.help) {
        std::fputs(kSetHelp, stdout);
        return kExitOk;
    }
    if (!a.problem.empty()) return Usage(a.problem, kSetHelp);
    if (a.positional.size() != 4) return Usage("set needs FILE, OBJECT-PATH, LABEL and VALUE", kSetHelp);
    if (!a.Has("--output") || a.Value("--output").empty())
        return Usage("set needs -o OUT (give -o FILE to change FILE in place)", kSetHelp);
    if (a.verbose) Zyn::Singleton<Zyn::Root>::Get()->m_LogLevel = Zyn::kLogInfo;
    const std::string& file = a.positional[0];
    const std::string& path = a.positional[1];
    const std::string& label = a.positional[2];
    const std::string& value = a.positional[3];
    const std::string out = a.Value("--output");
    const bool force = a.Has("--force");

    StreamContext context;
    if (!MountAll(a, context)) return kExitFailed;
    StreamContext::Loaded loaded;
    std::string error;
    if (!context.Load(file, loaded, error)) {
        Error(error);
        return kExitFailed;
    }
    if ((loaded.errors > 0 || loaded.trailingBytes > 0) && !force) {
        Error(
            "%s was not read cleanly (%d errors, %u unread bytes at its end); saving it would keep only "
            "what was read (use --force to save anyway)",
            file.c_str(), loaded.errors, loaded.trailingBytes);
        return kExitFailed;
    }

    Object* obj = ZynObj::ResolvePath(loaded.root.Get(), path, error);
    if (!obj) {
        Error("%s: %s", file.c_str(), error.c_str());
        return kExitFailed;
    }
    Zyn::Class* cls = obj->GetClass();
    Zyn::ValueProperty* property = Zyn::FindValueProperty(cls, label.c_str());
    if (!property) {
        const std::string similar = SimilarLabel(cls, label);
        Error("%s \"%s\" has no property \"%s\"%s%s%s (see 'zynobj dump')", cls->GetClassName(),
              obj->GetName().c_str(), label.c_str(), similar.empty() ? "" : "; did you mean \"",
              similar.c_str(), similar.empty() ? "" : "\"?");
        return kExitFailed;
    }
    if (property == Zyn::FindValueProperty(&Object::sm_Class, "Reference count")) {
        // Writing it would break the object's lifetime, and no file stores it.
        Error("\"%s\" counts live references; it is not stored in the file and cannot be set", label.c_str());
        return kExitFailed;
    }
    if (ZynObj::IsReadOnly(obj, property) && !force) {
        Error("\"%s\" of %s \"%s\" is read-only (use --force to change it anyway)", label.c_str(),
              cls->GetClassName(), obj->GetName().c_str());
        return kExitFailed;
    }

    const std::string before = ZynObj::ValueText(obj, property);
    auto resolve = [&context](Zyn::Class* target, const std::string& name, std::string& err) -> Object* {
        if (!target->Supports(&Zyn::Texture::sm_Class)) {
            err = std::string("pointers to ") + target->GetClassName() + " cannot be set by name";
            return nullptr;
        }
        return context.AcquireTexture(name, err);
    };
    if (!ZynObj::SetPropertyFromText(obj, property, value, resolve, error)) {
        Error(error);
        return kExitFailed;
    }
    const std::string after = ZynObj::ValueText(obj, property);

    if (!StreamContext::Save(loaded.root.Get(), out, error)) {
        Error(error);
        return kExitFailed;
    }
    std::printf("%s: %s: %s -> %s\n", path.c_str(), label.c_str(), before.c_str(), after.c_str());
    NoteMissingTextures(context);
    return kExitOk;
}

}  // namespace

int main(int argc, char** argv) {
    ZynTool::SetProgramName("zynobj");
    // Warnings and errors of the framework reach standard error; -v adds the rest.
    Zyn::Root* root = Zyn::Singleton<Zyn::Root>::Get();
    root->m_LogLevel = Zyn::kLogWarning;
    int status = kExitOk;
    if (argc < 2) return Usage("no command given", kMainHelp);
    const std::string command = argv[1];
    if (command == "-h" || command == "--help" || command == "help") {
        std::fputs(kMainHelp, stdout);
        return kExitOk;
    }
    if (command == "dump")
        status = Dump(argc, argv);
    else if (command == "set")
        status = Set(argc, argv);
    else
        return Usage("unknown command " + command, kMainHelp);
    // The objects read are gone; what the Root still holds goes now, while
    // the resource managers it releases still exist.
    root->Release();
    return status;
}
