#include <gtest/gtest.h>

#include <memory>

#include <zyn/core/Property.h>
#include <zyn/core/Root.h>
#include <zyn/io/CppPackageData.h>
#include <zyn/io/FileLogOutput.h>
#include <zyn/io/FolderPackage.h>
#include <zyn/io/MemoryFile.h>
#include <zyn/io/PacMemPackage.h>
#include <zyn/io/PacPackage.h>

#include "io/IoTestUtil.h"
#include "support/LogCapture.h"

using namespace Zyn;
using namespace ZynTest;

namespace {

std::string ReadText(File* f) {
    std::string out;
    char buffer[64];
    while (unsigned int n = f->Read(buffer, sizeof buffer)) out.append(buffer, n);
    return out;
}

std::string Open(Package& p, const char* name) {
    std::unique_ptr<File> f(p.OpenFile(name));
    return f ? ReadText(f.get()) : "<null>";
}

}  // namespace

TEST(PackageClasses, AreRegisteredWithTheirParentsAndFactories) {
    const char* concrete[] = {"PacPackage", "PacMemPackage", "FolderPackage", "CppPackage"};
    Class* package = Class::FindClass("Package");
    ASSERT_NE(package, nullptr);
    EXPECT_TRUE(package->IsAbstract());
    for (const char* name : concrete) {
        SCOPED_TRACE(name);
        Class* cls = Class::FindClass(name);
        ASSERT_NE(cls, nullptr);
        std::list<Class*> parents;
        cls->EnumParentClasses(parents);
        ASSERT_EQ(parents.size(), 1u);
        EXPECT_EQ(parents.front(), package);
        ScopedLogCapture quiet;
        Object* o = cls->CreateInstance("");
        ASSERT_NE(o, nullptr);
        o->AddRef();
        EXPECT_EQ(o->GetClass(), cls);
        EXPECT_NE(ZYN_Cast<Package>(o), nullptr);
        o->Release();
    }
    Class* log = Class::FindClass("FileLogOutput");
    ASSERT_NE(log, nullptr);
    EXPECT_TRUE(log->Supports(&LogOutput::sm_Class));
    EXPECT_FALSE(log->IsAbstract());
}

TEST(FolderPackage, MapsAFolderAndAcceptsBothSeparators) {
    TempDir dir;
    WriteText(dir / "temple/temple.txt", "stone");
    FolderPackage* folder = new FolderPackage("assets", dir.Path().c_str());
    folder->AddRef();
    EXPECT_EQ(folder->GetName(), "assets");
    EXPECT_EQ(Open(*folder, "temple\\temple.txt"), "stone");
    EXPECT_EQ(Open(*folder, "temple/temple.txt"), "stone");
    EXPECT_EQ(Open(*folder, "temple/missing.txt"), "<null>");
    folder->Release();

    // Without a folder argument the name is the folder.
    FolderPackage* named = new FolderPackage(dir.Path().c_str());
    named->AddRef();
    EXPECT_EQ(Open(*named, "temple\\temple.txt"), "stone");
    named->Release();
}

TEST(FolderPackage, FolderPropertyRedirectsLaterOpens) {
    TempDir dir;
    WriteText(dir / "first/f.txt", "one");
    WriteText(dir / "second/f.txt", "two");
    Object* o = Class::FindClass("FolderPackage")->CreateInstance("files");
    o->AddRef();
    FolderPackage* p = ZYN_Cast<FolderPackage>(o);
    ASSERT_NE(p, nullptr);
    // The factory maps the name itself until the property says otherwise.
    EXPECT_EQ(Open(*p, "f.txt"), "<null>");
    ValueProperty* folder = nullptr;
    for (ValueProperty* v : FolderPackage::sm_Class.GetValueProps())
        if (v->GetName() == "Folder") folder = v;
    ASSERT_NE(folder, nullptr);
    std::string value = dir / "first";
    EXPECT_TRUE(folder->SetValue(p, value));
    EXPECT_EQ(folder->GetValue(p), dir / "first");
    EXPECT_EQ(Open(*p, "f.txt"), "one");
    value = dir / "second";
    EXPECT_TRUE(folder->SetValue(p, value));
    EXPECT_EQ(Open(*p, "f.txt"), "two");
    o->Release();
}

TEST(FolderPackage, EmptyNameMapsTheWorkingDirectory) {
    TempDir dir;
    WriteText(dir / "here.txt", "cwd");
    const auto old = std::filesystem::current_path();
    std::filesystem::current_path(dir.Path());
    FolderPackage* working = new FolderPackage("", "ignored-folder");
    working->AddRef();
    EXPECT_EQ(working->GetName(), "WorkingFolderPackage");
    EXPECT_EQ(Open(*working, "here.txt"), "cwd");
    working->Release();
    std::filesystem::current_path(old);
}

TEST(FolderPackage, RefusesPathsLongerThan255Characters) {
    TempDir dir;
    // Both the full path and the 255-character prefix exist: a cut path must
    // not open the shorter file.
    const std::string folder = dir.Path();
    const size_t room = 255 - folder.size() - 1;
    const std::string fits(room, 'f');
    const std::string tooLong = fits + "x";
    WriteText(folder + "/" + fits, "prefix");
    FolderPackage* p = new FolderPackage("long", folder.c_str());
    p->AddRef();
    EXPECT_EQ(Open(*p, fits.c_str()), "prefix");
    ScopedLogCapture log;
    EXPECT_EQ(p->OpenFile(tooLong.c_str()), nullptr);
    EXPECT_EQ(p->OpenFile(std::string(5000, 'y').c_str()), nullptr);
    EXPECT_EQ(log->Count(" W. FolderPackage -> path of "), 2);
    EXPECT_TRUE(log->Contains("is longer than 255 characters; not opened"));
    p->Release();
}

TEST(CppPackage, ServesCompiledInFilesOnlyUnderItsOwnName) {
    CppPackage* other = new CppPackage("fonts");
    CppPackage* font = new CppPackage("cppfontfile");
    other->AddRef();
    font->AddRef();
    for (unsigned int i = 0; i < CppPackageData::g_FileCount; ++i) {
        const CppPackageData::CompiledFile& file = CppPackageData::g_Files[i];
        SCOPED_TRACE(file.name);
        EXPECT_EQ(other->OpenFile(file.name), nullptr);
        std::unique_ptr<File> f(font->OpenFile(file.name));
        // Files not generated yet are absent so that a pack can supply them.
        if (file.size == 0) {
            EXPECT_EQ(f, nullptr);
            continue;
        }
        ASSERT_NE(f, nullptr);
        EXPECT_EQ(f->GetFileSize(), file.size);
        EXPECT_EQ(f->Write("x", 1), 0u);
    }
    EXPECT_EQ(font->OpenFile("debugfont.TGA"), nullptr);
    EXPECT_EQ(font->OpenFile("other.tga"), nullptr);
    other->Release();
    font->Release();
}

TEST(RootOpenFile, AsksThePackagesFromFrontToBack) {
    TempDir dir;
    WriteText(dir / "a/shared.txt", "from folder a");
    WriteText(dir / "a/only-a.txt", "only a");
    WriteText(dir / "b/shared.txt", "from pack b");
    std::vector<PacPackage::Source> sources = {{"shared.txt", dir / "b/shared.txt"}};
    ASSERT_TRUE(PacPackage::CreatePacPackage(sources, (dir / "b.pac").c_str()));

    Root* root = Singleton<Root>::Get();
    FolderPackage* a = new FolderPackage("a", (dir / "a").c_str());
    PacPackage* b = new PacPackage((dir / "b.pac").c_str());
    PacPackage* missing = new PacPackage((dir / "missing.pac").c_str());
    root->InsertObject(a, Root::kPackages, 1, nullptr);
    root->InsertObject(missing, Root::kPackages, 1, nullptr);
    // Position 0 puts the pack in front of the folder.
    root->InsertObject(b, Root::kPackages, 0, nullptr);
    {
        ScopedLogCapture log;
        std::unique_ptr<File> shared(root->OpenFile("shared.txt", true));
        ASSERT_NE(shared, nullptr);
        EXPECT_EQ(ReadText(shared.get()), "from pack b");
        EXPECT_TRUE(log->Contains(" I. ZYN::Root->File Opened: shared.txt"));
        std::unique_ptr<File> onlyA(root->OpenFile("only-a.txt", true));
        ASSERT_NE(onlyA, nullptr);
        EXPECT_EQ(ReadText(onlyA.get()), "only a");
        EXPECT_EQ(root->OpenFile("nowhere.txt", false), nullptr);
        EXPECT_FALSE(log->Contains("nowhere.txt"));
        EXPECT_EQ(root->OpenFile("nowhere.txt", true), nullptr);
        EXPECT_TRUE(
            log->Contains(" W. Zyn::Root::OpenFile -> Could not open file nowhere.txt in any package"));
    }
    root->RemoveObject(b, Root::kPackages);
    {
        std::unique_ptr<File> shared(root->OpenFile("shared.txt", true));
        ASSERT_NE(shared, nullptr);
        EXPECT_EQ(ReadText(shared.get()), "from folder a");
    }
    root->RemoveObject(a, Root::kPackages);
    root->RemoveObject(missing, Root::kPackages);
}

TEST(RootOpenFile, MemoryStreamsOfAPacMemPackageReadTheSameBytes) {
    TempDir dir;
    WriteBytes(dir / "m.bin", Pattern(1000, 5));
    std::vector<PacPackage::Source> sources = {{"m.bin", dir / "m.bin"}};
    ASSERT_TRUE(PacPackage::CreatePacPackage(sources, (dir / "m.pac").c_str()));
    Root* root = Singleton<Root>::Get();
    PacMemPackage* mem = new PacMemPackage((dir / "m.pac").c_str());
    root->InsertObject(mem, Root::kPackages, 0, nullptr);
    std::unique_ptr<File> f(root->OpenFile("m.bin", true));
    ASSERT_NE(f, nullptr);
    EXPECT_NE(dynamic_cast<MemoryFile*>(f.get()), nullptr);
    Bytes got(1000);
    EXPECT_EQ(f->Read(got.data(), 2000), 1000u);
    EXPECT_EQ(got, Pattern(1000, 5));
    f.reset();
    root->RemoveObject(mem, Root::kPackages);
}

TEST(FileLogOutput, WritesEveryPassingLineAndFlushesIt) {
    TempDir dir;
    const std::string path = dir / "log.txt";
    WriteText(path, "old content\n");
    Root* root = Singleton<Root>::Get();
    ScopedLogCapture others;
    Object* made = Class::FindClass("FileLogOutput")->CreateInstance(path.c_str());
    FileLogOutput* out = ZYN_Cast<FileLogOutput>(made);
    ASSERT_NE(out, nullptr);
    EXPECT_TRUE(out->IsOpen());
    EXPECT_TRUE(others->Contains(" I. Creating log ffile " + path));
    out->m_Threshold = 1;
    root->InsertObject(out, Root::kLogOutputs, 1, nullptr);
    LogSend(kLogError, "first %d", 1);
    LogSend(kLogInfo, "not for the file");
    LogSend(kLogWarning, "second");
    // Flushed per line: readable while the output is still attached.
    const Bytes text = ReadBytes(path);
    const std::string content(text.begin(), text.end());
    EXPECT_EQ(content.find("old content"), std::string::npos);
    EXPECT_NE(content.find(" E. first 1\n"), std::string::npos);
    EXPECT_NE(content.find(" W. second\n"), std::string::npos);
    EXPECT_EQ(content.find("not for the file"), std::string::npos);
    EXPECT_EQ(std::count(content.begin(), content.end(), '\n'), 2);
    root->RemoveObject(out, Root::kLogOutputs);
}

TEST(FileLogOutput, DiscardsLinesWhenTheFileCannotBeOpened) {
    TempDir dir;
    FileLogOutput* out = new FileLogOutput((dir / "no/such/dir/log.txt").c_str());
    out->AddRef();
    EXPECT_FALSE(out->IsOpen());
    out->Receive("dropped");
    out->Release();
    EXPECT_FALSE(std::filesystem::exists(dir / "no/such/dir/log.txt"));
}
