// Loading real shared libraries: the fixture library, failures, and the built plug-ins.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "host/AudioBuffers.h"
#include "host/VstHost.h"

namespace host {
namespace {

#ifdef _WIN32
constexpr const char* kMissingLibrary = "Z:\\nonexistent\\qrx\\none.dll";
constexpr const char* kSystemLibrary = "kernel32.dll";
#else
constexpr const char* kMissingLibrary = "/nonexistent/qrx/none.so";
constexpr const char* kSystemLibrary = "libm.so.6";
#endif

TEST(LibraryLoad, MissingFileFailsWithTheLoadersText) {
    const std::string path = kMissingLibrary;
    std::string error;
    EXPECT_FALSE(Plugin::load(path, {}, &error));
    EXPECT_NE(error.find(path), std::string::npos) << error;
    EXPECT_FALSE(Plugin::load(path));  // no error text asked for: still no crash
}

TEST(LibraryLoad, LibraryWithoutAnEntryIsRefused) {
    std::string error;
    EXPECT_FALSE(Plugin::load(kSystemLibrary, {}, &error));
    EXPECT_NE(error.find("VSTPluginMain"), std::string::npos) << error;
}

TEST(LibraryLoad, FallsBackToMainAndRunsTheEffectFromTheLibrary) {
    std::string error;
    auto plugin = Plugin::load(QRX_HOST_FIXTURE, {}, &error);
    ASSERT_TRUE(plugin) << error;
    EXPECT_EQ(plugin->effect()->magic, vstFourCC('V', 's', 't', 'P'));
    EXPECT_EQ(plugin->effectName(), "Test Effect");
    ASSERT_GE(plugin->requests().size(), 1u);
    EXPECT_EQ(plugin->requests()[0].opcode, audioMasterVersion);

    plugin->resume();
    AudioBuffers<float> in(2, 16);
    AudioBuffers<float> out(2, 16);
    for (int i = 0; i < 16; ++i) in.channel(1)[i] = 0.5f * i;
    ASSERT_TRUE(plugin->processReplacing(in.data(), out.data(), 16));
    for (int i = 0; i < 16; ++i) EXPECT_EQ(out.channel(1)[i], 0.5f * i);
    plugin.reset();  // suspend, effClose, then unload: must not crash

    // Loading again after the unload gives a fresh, working instance.
    auto again = Plugin::load(QRX_HOST_FIXTURE, {}, &error);
    ASSERT_TRUE(again) << error;
    EXPECT_EQ(again->numParams(), 2);
}

}  // namespace
}  // namespace host
