// The logo screen sequence: its configuration file (every statement, the
// logic and syntax errors that end the reading, missing, short, huge, cut-off
// and lying files), its timing with the callback and the skipping keys, and
// what it draws on an offscreen frame.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include <zyn/app/LogoScreenSequence.h>
#include <zyn/core/Root.h>
#include <zyn/graphics/Texture.h>
#include <zyn/io/File.h>
#include <zyn/io/Package.h>

#include "app/LayerTestUtil.h"
#include "support/LogCapture.h"

using namespace Zyn;
using namespace ZynTest;

namespace {

// Lifts a configuration above the 25 bytes a file needs to be read at all.
std::string Config(const std::string& statements) { return "# logo screens under test\n" + statements; }

int g_Calls = 0;
LogoScreenSequence* g_pCalledWith = nullptr;
void CountCall(LogoScreenSequence* s) {
    ++g_Calls;
    g_pCalledWith = s;
}

// A stream that claims a size of its own but holds only the given bytes.
class LyingFile : public File {
public:
    LyingFile(std::string data, unsigned claimed) : m_Data(std::move(data)), m_Claimed(claimed) {}
    unsigned Read(void* buffer, unsigned size) override {
        const size_t left = m_Pos < m_Data.size() ? m_Data.size() - m_Pos : 0;
        const size_t n = std::min<size_t>(left, size);
        std::memcpy(buffer, m_Data.data() + m_Pos, n);
        m_Pos += n;
        return unsigned(n);
    }
    unsigned Seek(int offset, int origin) override {
        const unsigned old = unsigned(m_Pos);
        if (origin == 0) m_Pos = unsigned(offset);
        if (origin == 1) m_Pos += size_t(offset);
        if (origin == 2) m_Pos = size_t(m_Claimed) + size_t(offset);
        return old;
    }
    bool IsEnd() override { return m_Pos >= m_Claimed; }

private:
    std::string m_Data;
    unsigned m_Claimed;
    size_t m_Pos = 0;
};

class LyingPackage : public Package {
public:
    LyingPackage() : Package("lying") {}
    File* OpenFile(const char* name) override {
        if (std::strcmp(name, "short.cfg") == 0) return new LyingFile(Config("screen_count = 2\n"), 200);
        if (std::strcmp(name, "vast.cfg") == 0)
            return new LyingFile(Config("screen_count = 2\n"), 0xFFFFFFF0u);
        return nullptr;
    }
};

// Keeps the debug lines of the configuration reader for the scope.
struct DebugLogLevel {
    int saved = Singleton<Root>::Get()->m_LogLevel;
    DebugLogLevel() { Singleton<Root>::Get()->m_LogLevel = kLogDebug; }
    ~DebugLogLevel() { Singleton<Root>::Get()->m_LogLevel = saved; }
};

class LogoFrame : public AppFrame {
protected:
    void SetUp() override {
        AppFrame::SetUp();
        g_Calls = 0;
        g_pCalledWith = nullptr;
        m_Package.Add("logo.tga", SolidTga(16, 16, 0xFFFFFFFF));
    }
    Ref<LogoScreenSequence> Make(const std::string& statements, LogoScreenSequence::Callback cb = nullptr) {
        m_Package.Add("test.cfg", Config(statements));
        return Ref<LogoScreenSequence>(new LogoScreenSequence("logos", "test.cfg", cb));
    }
    std::vector<float> Times(const LogoScreenSequence* s) {
        std::vector<float> out;
        for (const auto& d : s->GetScreens()) out.push_back(d.time);
        return out;
    }

    ScopedPackage m_Package;
};

class LogoConfig : public LogoFrame {};
class LogoTiming : public LogoFrame {};
class LogoDraw : public LogoFrame {};

}  // namespace

// ---------------------------------------------------------------------------
// The configuration file

TEST_F(LogoConfig, EveryStatementKindIsAppliedAndLogged) {
    ScopedLogCapture log;
    DebugLogLevel debug;
    m_Package.Add("logos.cfg", Config("screen_count = 3\n"
                                      "screen_time = 2.5 # comments may follow a value\n"
                                      "screen_back = 10,20,30\n"
                                      "screen_time_2 = 4\n"
                                      "screen_back_3 = 255,256,-1\n"
                                      "screen_file_1 = logo.tga\n"));
    // Created by class name, it reads the file named like itself.
    Ref<Object> o(Class::FindClass("LogoScreenSequence")->CreateInstance("logos.cfg"));
    auto* s = ZYN_Cast<LogoScreenSequence, Object>(o.Get());
    ASSERT_NE(s, nullptr);
    ASSERT_EQ(s->GetScreens().size(), 3u);
    EXPECT_EQ(Times(s), (std::vector<float>{2.5f, 4.0f, 2.5f}));
    EXPECT_EQ(u32(s->GetScreens()[0].color), 0xFF0A141Eu);
    EXPECT_EQ(u32(s->GetScreens()[1].color), 0xFF0A141Eu);
    EXPECT_EQ(u32(s->GetScreens()[2].color), 0xFFFF00FFu);
    EXPECT_EQ(u32(s->GetBackColor()), 0xFF0A141Eu);
    ASSERT_NE(s->GetScreens()[0].texture, nullptr);
    EXPECT_EQ(s->GetScreens()[0].texture->GetName(), "logo.tga");
    EXPECT_EQ(s->GetScreens()[1].texture, nullptr);
    EXPECT_EQ(s->GetCurrent(), 0);
    EXPECT_FLOAT_EQ(s->GetTime(), -0.5f);

    EXPECT_TRUE(log->Contains(" D. LogoScreenSequence: screen count set to: 3"));
    EXPECT_TRUE(log->Contains(" D. LogoScreenSequence: screen time set for all screens to: 2.500000"));
    EXPECT_TRUE(log->Contains(" D. LogoScreenSequence: screen color set for all screens to: 10, 20, 30"));
    EXPECT_TRUE(log->Contains(" D. LogoScreenSequence: time set for screen 1 to: 4.000000"));
    EXPECT_TRUE(log->Contains(" D. LogoScreenSequence: screen color set for screen 2 to: 255, 0, 255"));
    EXPECT_TRUE(log->Contains(" D. LogoScreenSequence: texture set for screen 0 to: logo.tga"));
}

TEST_F(LogoConfig, ScreenCountOutsideOneToNinetyNineIsRejected) {
    for (const char* count : {"0", "100", "-3", "99999999999999"}) {
        ScopedLogCapture log;
        Ref<LogoScreenSequence> s = Make(std::string("screen_count = ") + count + "\nscreen_time = 2\n");
        EXPECT_TRUE(s->GetScreens().empty()) << count;
        EXPECT_TRUE(log->Contains(" W. Logic error in <test.cfg>. The class supports from 1 to 99 screens ("))
            << count;
    }
    ScopedLogCapture log;
    EXPECT_EQ(Make("screen_count = 99\n")->GetScreens().size(), 99u);
}

TEST_F(LogoConfig, InvalidScreenNumberStopsReadingAndKeepsWhatCameBefore) {
    ScopedLogCapture log;
    Ref<LogoScreenSequence> s =
        Make("screen_count = 2\nscreen_time_1 = 5\nscreen_time_3 = 7\nscreen_time_2 = 9\n");
    EXPECT_EQ(Times(s.Get()), (std::vector<float>{5.0f, 3.0f}));
    EXPECT_TRUE(log->Contains(" W. Logic error in <test.cfg>. Invalid screen idd (3 in file)"));

    Ref<LogoScreenSequence> zero = Make("screen_count = 1\nscreen_file_0 = logo.tga\nscreen_time = 1\n");
    EXPECT_TRUE(log->Contains("Invalid screen idd (0 in file)"));
    EXPECT_EQ(Times(zero.Get()), (std::vector<float>{3.0f}));
    EXPECT_EQ(zero->GetScreens()[0].texture, nullptr);
}

TEST_F(LogoConfig, StatementsForAllScreensReachOnlyScreensThatExist) {
    ScopedLogCapture log;
    Ref<LogoScreenSequence> s = Make("screen_back = 1,2,3\nscreen_time = 9\nscreen_count = 2\n");
    EXPECT_EQ(u32(s->GetBackColor()), 0xFF010203u);
    ASSERT_EQ(s->GetScreens().size(), 2u);
    EXPECT_EQ(u32(s->GetScreens()[0].color), 0xFF000000u);
    EXPECT_EQ(Times(s.Get()), (std::vector<float>{3.0f, 3.0f}));
}

TEST_F(LogoConfig, UnknownCommandsAreSkippedAndReadingGoesOn) {
    ScopedLogCapture log;
    Ref<LogoScreenSequence> s = Make("screen_count = 1\nscreen_speed = 4\nscreen_time = 2\n");
    EXPECT_TRUE(log->Contains(" W. Syntax error in <test.cfg>. Unrecognized command skipped"));
    EXPECT_EQ(Times(s.Get()), (std::vector<float>{2.0f}));
}

TEST_F(LogoConfig, BadValuesEndTheReadingWithALogLine) {
    struct Case {
        const char* statements;
        const char* message;
        std::vector<float> times;
    };
    const Case cases[] = {
        {"screen_count = 2\nscreen_time_1 = nan\nscreen_time = 1\n", "Invalid screen time", {3, 3}},
        {"screen_count = 2\nscreen_time = -1\nscreen_time_2 = 1\n", "Invalid screen time", {3, 3}},
        {"screen_count = 2\nscreen_time_2 = 1e999\n", "Invalid screen time", {3, 3}},
        {"screen_count = 2\nscreen_back_1 = 10;20;30\nscreen_time = 1\n", "A color is written R,G,B", {3, 3}},
        {"screen_count = 2\nscreen_back = 10,20\nscreen_time = 1\n", "A color is written R,G,B", {3, 3}},
        {"screen_count = 2\nscreen_time 1\n", "= must follow a keyword", {3, 3}},
        {"screen_count 2\nscreen_time = 1\n", "= must follow a keyword", {}},
    };
    for (const Case& c : cases) {
        ScopedLogCapture log;
        Ref<LogoScreenSequence> s = Make(c.statements);
        EXPECT_EQ(Times(s.Get()), c.times) << c.statements;
        EXPECT_TRUE(log->Contains(std::string(" W. Syntax error in <test.cfg>. ") + c.message) ||
                    log->Contains(std::string(" W. Logic error in <test.cfg>. ") + c.message))
            << c.statements;
    }
}

TEST_F(LogoConfig, CutOffFilesKeepTheCompleteStatements) {
    ScopedLogCapture log;
    // The last value ends the file: it counts, and the reading ends there.
    EXPECT_EQ(Times(Make("screen_count = 2\nscreen_time_2 = 4").Get()), (std::vector<float>{3, 4}));
    // Cut off after "=" or inside a keyword: nothing more is applied.
    EXPECT_EQ(Times(Make("screen_count = 2\nscreen_time_2 =").Get()), (std::vector<float>{3, 3}));
    EXPECT_EQ(Times(Make("screen_count = 2\nscreen_ti").Get()), (std::vector<float>{3, 3}));
    EXPECT_EQ(Times(Make("screen_count = 2\nscreen_file_1 = ").Get()), (std::vector<float>{3, 3}));
    // A NUL inside the file ends the text there.
    m_Package.Add("nul.cfg", Config(std::string("screen_count = 2\n\0screen_count = 5\n", 35)));
    EXPECT_EQ(LogoScreenSequence("s", "nul.cfg", nullptr).GetScreens().size(), 2u);
}

TEST_F(LogoConfig, MissingShortAndHugeFilesGiveNoScreens) {
    ScopedLogCapture log;
    EXPECT_TRUE(LogoScreenSequence("s", "none.cfg", nullptr).GetScreens().empty());
    EXPECT_TRUE(log->Contains("Could not open file none.cfg in any package"));

    m_Package.Add("tiny.cfg", std::string("screen_count = 1\n"));
    EXPECT_TRUE(LogoScreenSequence("s", "tiny.cfg", nullptr).GetScreens().empty());
    EXPECT_TRUE(
        log->Contains("LogoScreenSequence: configuration <tiny.cfg> is too short (17 bytes), ignored"));

    std::string huge = Config("screen_count = 1\n");
    huge.resize(LogoScreenSequence::kMaxConfigBytes + 1, ' ');
    m_Package.Add("huge.cfg", huge);
    EXPECT_TRUE(LogoScreenSequence("s", "huge.cfg", nullptr).GetScreens().empty());
    EXPECT_TRUE(log->Contains(
        " E. LogoScreenSequence: configuration <huge.cfg> is too large (1048577 bytes), ignored"));

    // The largest accepted file is read whole.
    huge.resize(LogoScreenSequence::kMaxConfigBytes);
    huge.replace(huge.size() - 17, 17, "screen_time = 7\n\n");
    m_Package.Add("big.cfg", huge);
    LogoScreenSequence big("s", "big.cfg", nullptr);
    EXPECT_EQ(Times(&big), (std::vector<float>{7.0f}));
}

TEST_F(LogoConfig, StreamsThatClaimMoreThanTheyHoldAreBoundedByWhatWasRead) {
    ScopedLogCapture log;
    auto* lying = new LyingPackage;
    Root* root = Singleton<Root>::Get();
    root->InsertObject(lying, Root::kPackages, 0, nullptr);
    {
        LogoScreenSequence s("s", "short.cfg", nullptr);
        EXPECT_EQ(s.GetScreens().size(), 2u);
        EXPECT_TRUE(
            log->Contains(" W. LogoScreenSequence: configuration <short.cfg> ended after 43 of 200 bytes"));
        LogoScreenSequence v("v", "vast.cfg", nullptr);
        EXPECT_TRUE(v.GetScreens().empty());
        EXPECT_TRUE(log->Contains("configuration <vast.cfg> is too large (4294967280 bytes), ignored"));
    }
    root->RemoveObject(lying, Root::kPackages);
}

// ---------------------------------------------------------------------------
// Timing and skipping

TEST_F(LogoTiming, CallbackComesOnceWhenTheLastScreenEnds) {
    Ref<LogoScreenSequence> s = Make("screen_count = 2\n", &CountCall);
    // Half a second of waiting, then two screens of 3 s: the end is at 6.5 s.
    for (int frame = 1; frame <= 25; ++frame) {
        EXPECT_FALSE(s->Update(0.25f));
        if (frame == 13) {
            EXPECT_EQ(s->GetCurrent(), 0);
        }
        if (frame == 14) {
            EXPECT_EQ(s->GetCurrent(), 1);
        }
    }
    EXPECT_EQ(g_Calls, 0);
    EXPECT_FALSE(s->Update(0.25f));
    EXPECT_EQ(g_Calls, 1);
    EXPECT_EQ(g_pCalledWith, s.Get());
    for (int frame = 0; frame < 20; ++frame) s->Update(0.25f);
    EXPECT_EQ(g_Calls, 1);
    EXPECT_EQ(s->GetCurrent(), 2);
}

TEST_F(LogoTiming, WithoutScreensNothingRunsAndNobodyIsCalled) {
    ScopedLogCapture log;
    LogoScreenSequence s("s", "none.cfg", &CountCall);
    for (int i = 0; i < 10; ++i) EXPECT_FALSE(s.Update(1.0f));
    EXPECT_EQ(g_Calls, 0);
    EXPECT_FLOAT_EQ(s.GetTime(), -0.5f);
}

TEST_F(LogoTiming, APressShortensTheCurrentScreenByItsPhase) {
    struct Case {
        float before;       // seconds of updates before the key
        float timeAfter;    // the screen's time after the key frame
        float lengthAfter;  // the screen's duration after it
    };
    const Case cases[] = {
        {0.8f, 0.3f, 1.6f},  // fading in: the fade-out follows at once
        {2.0f, 2.2f, 3.0f},  // holding: jump to the start of the fade-out
        {2.8f, 2.3f, 3.0f},  // fading out already: nothing changes
    };
    for (const Case& c : cases) {
        for (int key : {1, 27, 32, 13, 2}) {
            Ref<LogoScreenSequence> s = Make("screen_count = 2\n");
            s->Update(c.before);
            PressKey(key);
            s->Update(0.0f);
            EndKeyFrame();
            EXPECT_FLOAT_EQ(s->GetTime(), c.timeAfter) << c.before << " key " << key;
            EXPECT_FLOAT_EQ(s->GetScreens()[0].time, c.lengthAfter) << c.before << " key " << key;
            // Held down, the key does not skip again.
            s->Update(0.0f);
            EXPECT_FLOAT_EQ(s->GetTime(), c.timeAfter);
            Singleton<Root>::Get()->m_KeyStates[key] = 0;
        }
    }
}

TEST_F(LogoTiming, OtherKeysAndLockedInputDoNotSkip) {
    Ref<LogoScreenSequence> s = Make("screen_count = 1\n");
    s->Update(2.0f);
    PressKey('A');
    s->Update(0.0f);
    EXPECT_FLOAT_EQ(s->GetTime(), 1.5f);
    PressKey(27);
    Singleton<Root>::Get()->m_bInputLocked = true;
    s->Update(0.0f);
    EXPECT_FLOAT_EQ(s->GetTime(), 1.5f);
    Singleton<Root>::Get()->m_bInputLocked = false;
    s->Update(0.0f);
    EXPECT_FLOAT_EQ(s->GetTime(), 2.2f);
}

// ---------------------------------------------------------------------------
// Drawing

TEST_F(LogoDraw, BackgroundScreenColourLogoAndFades) {
    Ref<LogoScreenSequence> s = Make(
        "screen_count = 1\nscreen_back = 0,0,255\nscreen_back_1 = 255,0,0\n"
        "screen_file_1 = logo.tga\n");
    // Before the first screen: the background colour only.
    s->Render(0.0f);
    Finish();
    EXPECT_EQ(LitCount(0, 0, kSize, kSize), kSize * kSize);
    EXPECT_TRUE(Near(32, 32, 0, 0, 255));

    // Fading in at 0.1 s: scaled to 0.899 (about 14.4 pixels) under 96 % of the background.
    s->Update(0.6f);
    BeginFrame();
    s->Render(0.0f);
    Finish();
    EXPECT_TRUE(Near(2, 2, 9, 0, 245, 3));
    EXPECT_TRUE(Near(25, 32, 9, 9, 255, 3));
    EXPECT_TRUE(Near(24, 32, 9, 0, 245, 3));
    EXPECT_TRUE(Near(38, 32, 9, 9, 255, 3));
    EXPECT_TRUE(Near(39, 32, 9, 0, 245, 3));

    // Holding at 1.0 s: the logo at full size on the screen's colour.
    s->Update(0.9f);
    BeginFrame();
    s->Render(0.0f);
    Finish();
    EXPECT_TRUE(Near(2, 2, 255, 0, 0));
    EXPECT_TRUE(Near(24, 24, 255, 255, 255));
    EXPECT_TRUE(Near(39, 39, 255, 255, 255));
    EXPECT_TRUE(Near(23, 32, 255, 0, 0));
    EXPECT_TRUE(Near(40, 32, 255, 0, 0));

    // Half-way through the fade-out (2.6 s): half of the background over the screen.
    s->Update(1.6f);
    BeginFrame();
    s->Render(0.0f);
    Finish();
    EXPECT_TRUE(Near(2, 2, 128, 0, 127));

    // After the last screen: the background colour again.
    s->Update(0.5f);
    EXPECT_EQ(s->GetCurrent(), 1);
    BeginFrame();
    s->Render(0.0f);
    Finish();
    EXPECT_TRUE(Near(32, 32, 0, 0, 255));
    EXPECT_TRUE(Near(2, 2, 0, 0, 255));
}

TEST_F(LogoDraw, ALogoThatCannotBeLoadedLeavesOnlyTheScreenColour) {
    ScopedLogCapture log;
    Ref<LogoScreenSequence> s =
        Make("screen_count = 1\nscreen_back_1 = 0,255,0\nscreen_file_1 = missing.tga\n");
    EXPECT_TRUE(log->Contains("Resource <missing.tga> not found..."));
    EXPECT_EQ(s->GetScreens()[0].texture, nullptr);
    s->Update(1.5f);
    s->Render(0.0f);
    Finish();
    for (int y = 0; y < kSize; y += 4)
        for (int x = 0; x < kSize; x += 4) ASSERT_TRUE(Near(x, y, 0, 255, 0)) << x << ", " << y;
}
