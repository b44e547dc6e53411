#include <gtest/gtest.h>

#include <cwchar>
#include <string>

#include "host/class_desc.h"
#include "host/exceptions.h"
#include "hostsdk/instrumentation.h"
#include "tests/support/import_patch.h"
#include "tests/support/plugin.h"
#include "tests/support/plugin_copy.h"

namespace {

TEST(Exports, AnswerAsTheHostsLoaderExpects) {
    const auto description = Plugin().Export<const wchar_t* (*)()>("LibDescription");
    const auto numberClasses = Plugin().Export<int (*)()>("LibNumberClasses");
    const auto version = Plugin().Export<ULONG (*)()>("LibVersion");
    const auto canAutoDefer = Plugin().Export<ULONG (*)()>("CanAutoDefer");
    ASSERT_NE(description, nullptr);
    ASSERT_NE(numberClasses, nullptr);
    ASSERT_NE(version, nullptr);
    ASSERT_NE(canAutoDefer, nullptr);

    EXPECT_STREQ(description(), L"Stereo Braidel Filter Plugin. (orv)");
    EXPECT_EQ(description(), description());
    EXPECT_EQ(numberClasses(), 1);
    EXPECT_EQ(version(), 0x65904000u);
    EXPECT_EQ(version() >> 16, 26000u);
    EXPECT_EQ((version() >> 8) & 0xFF, 64u);
    EXPECT_EQ(canAutoDefer(), 1u);
}

TEST(Exports, OnlyIndexZeroHasADescriptor) {
    const auto libClassDesc = Plugin().Export<ClassDesc* (*)(int)>("LibClassDesc");
    ASSERT_NE(libClassDesc, nullptr);
    ClassDesc* descriptor = libClassDesc(0);
    ASSERT_NE(descriptor, nullptr);
    EXPECT_EQ(libClassDesc(0), descriptor);
    for (int index : {1, 2, -1, INT32_MIN, INT32_MAX}) {
        EXPECT_EQ(libClassDesc(index), nullptr) << index;
    }
}

// The descriptor is static data of the module, not a heap object.
TEST(ClassDescriptor, LivesInsideTheModuleImage) {
    MEMORY_BASIC_INFORMATION region{};
    ASSERT_NE(VirtualQuery(Plugin().Descriptor(), &region, sizeof region), 0u);
    EXPECT_EQ(region.AllocationBase, Plugin().Handle());
}

TEST(ClassDescriptor, DescribesTheFilterClass) {
    ClassDesc* descriptor = Plugin().Descriptor();
    EXPECT_EQ(descriptor->IsPublic(), 1);
    EXPECT_STREQ(descriptor->ClassName(), L"Stereo Braidel Filter");
    EXPECT_STREQ(descriptor->NonLocalizedClassName(), L"Stereo Braidel Filter");
    EXPECT_EQ(descriptor->SuperClassID(), 3584u);
    EXPECT_EQ(descriptor->ClassID().PartA(), 0x61CB177Au);
    EXPECT_EQ(descriptor->ClassID().PartB(), 0x33790CC2u);
    EXPECT_STREQ(descriptor->Category(), L"Image Filter");
    // Inherited defaults of the host SDK.
    EXPECT_STREQ(descriptor->GetRsrcString(1), L"");
    EXPECT_EQ(descriptor->NumInterfaces(), 0);
    EXPECT_EQ(descriptor->GetInterface(Interface_ID(1, 2)), nullptr);
}

TEST(ClassDescriptor, CreatesIndependentFiltersAtCopyLineEvenLines) {
    hostsdk::ResetRecords();
    FilterPtr first = Plugin().CreateFilter();
    FilterPtr second(static_cast<ImageFilter*>(Plugin().Descriptor()->Create(1)));
    ASSERT_NE(first, nullptr);
    ASSERT_NE(second, nullptr);
    EXPECT_NE(first.get(), second.get());
    EXPECT_EQ(hostsdk::HostAllocationCount(), 2);

    for (ImageFilter* filter : {first.get(), second.get()}) {
        EXPECT_EQ(ConfigOf(*filter).mode, kCopyLine);
        EXPECT_EQ(ConfigOf(*filter).field, kEvenLines);
    }
    SetConfig(*first, {kSixPointWeighted, kOddLines});
    EXPECT_EQ(ConfigOf(*second).mode, kCopyLine);
    EXPECT_EQ(ConfigOf(*second).field, kEvenLines);

    // Deleted through the virtual destructor, back onto the host's heap.
    first.reset();
    second.reset();
    EXPECT_EQ(hostsdk::HostReleaseCount(), 2);
}

TEST(ClassDescriptor, CreateGivesNullWhenTheHostHeapRefuses) {
    hostsdk::ResetRecords();
    hostsdk::FailHostAllocation(1);
    EXPECT_EQ(Plugin().Descriptor()->Create(0), nullptr);
    EXPECT_EQ(hostsdk::HostAllocationCount(), 0);
    FilterPtr next = Plugin().CreateFilter();  // the refusal was one-off
    EXPECT_NE(next, nullptr);
    hostsdk::ResetRecords();
}

// The exception is raised inside the host SDK's module and caught here, across two module
// boundaries, each module carrying its own copy of the compiler runtime.
TEST(ClassDescriptor, BadInterfaceIndexRaisesTheSdksTabException) {
    ClassDesc* descriptor = Plugin().Descriptor();
    for (int index : {0, 1, -1}) {
        try {
            descriptor->GetInterface(index);
            ADD_FAILURE() << "no exception for index " << index;
        } catch (const HostSDK::Util::TabOutOfRangeException& error) {
            EXPECT_STREQ(error.Message(), L"Invalid index passed into a host SDK Tab::operator[]");
        }
    }
    // Also catchable as its SDK base types.
    EXPECT_THROW(descriptor->GetInterface(3), HostSDK::Util::OutOfRangeException);
    EXPECT_THROW(descriptor->GetInterface(3), HostSDK::Util::Exception);
}

// Layout probe: where a descriptor keeps its interface table's storage pointer.
class ProbeDesc final : public ClassDesc {
  public:
    int IsPublic() override { return 0; }
    void* Create(int) override { return nullptr; }
    const wchar_t* ClassName() override { return L""; }
    const wchar_t* NonLocalizedClassName() override { return L""; }
    SClass_ID SuperClassID() override { return 0; }
    Class_ID ClassID() override { return {}; }
    const wchar_t* Category() override { return L""; }
    std::ptrdiff_t TableOffset() {
        return reinterpret_cast<char*>(interfaces.StorageAddress()) - reinterpret_cast<char*>(this);
    }
};

int zfreeCalls = 0;
void** zfreeArgument = nullptr;
void* tableAtRelease = reinterpret_cast<void*>(1);

void RecordingZfree(void** table) {
    ++zfreeCalls;
    zfreeArgument = table;
    tableAtRelease = *table;
    *table = nullptr;
}

TEST(ModuleUnload, ReleasesTheDescriptorsInterfaceTableWithZfree) {
    PluginCopy copy(L"unload\\BraidelUnload.flt");
    auto* descriptor = reinterpret_cast<char*>(copy.Descriptor());
    ImportPatch(copy.Handle(), "hostsdk.dll", "_Z5zfreePPv",
                reinterpret_cast<void*>(&RecordingZfree))
        .Keep();

    EXPECT_EQ(zfreeCalls, 0);
    copy.Unload();
    EXPECT_EQ(zfreeCalls, 1);
    ProbeDesc probe;
    EXPECT_EQ(reinterpret_cast<char*>(zfreeArgument), descriptor + probe.TableOffset());
    EXPECT_EQ(tableAtRelease, nullptr);  // never filled
}

}  // namespace
