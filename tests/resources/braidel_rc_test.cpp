#include <gtest/gtest.h>
#include <windows.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "braidel_version.h"
#include "tests/support/plugin.h"

namespace {

constexpr WORD kEnglishUs = 1033;

std::string_view ResourceBytes(LPCWSTR type, LPCWSTR name, WORD language = kEnglishUs) {
    HMODULE module = Plugin().Handle();
    HRSRC found = FindResourceExW(module, type, name, language);
    if (found == nullptr) return {};
    HGLOBAL loaded = LoadResource(module, found);
    if (loaded == nullptr) return {};
    return {static_cast<const char*>(LockResource(loaded)), SizeofResource(module, found)};
}

std::vector<WORD> Languages(LPCWSTR type, LPCWSTR name) {
    std::vector<WORD> languages;
    EnumResourceLanguagesW(
        Plugin().Handle(), type, name,
        [](HMODULE, LPCWSTR, LPCWSTR, WORD language, LONG_PTR list) -> BOOL {
            reinterpret_cast<std::vector<WORD>*>(list)->push_back(language);
            return TRUE;
        },
        reinterpret_cast<LONG_PTR>(&languages));
    return languages;
}

// Sequential reader of a resource's little-endian fields.
class Reader {
  public:
    explicit Reader(std::string_view bytes) : bytes_(bytes) {}

    template <class T>
    T Read() {
        T value{};
        if (at_ + sizeof(T) > bytes_.size()) {
            overrun_ = true;
            return value;
        }
        std::memcpy(&value, bytes_.data() + at_, sizeof(T));
        at_ += sizeof(T);
        return value;
    }
    std::u16string String() {
        std::u16string text;
        for (char16_t c = Read<char16_t>(); c != 0 && !overrun_; c = Read<char16_t>()) {
            text += c;
        }
        return text;
    }
    // A name-or-ordinal field: "" for none, "#N" for an ordinal, otherwise the string.
    std::u16string NameOrOrdinal() {
        const auto first = Read<uint16_t>();
        if (first == 0) return u"";
        if (first == 0xFFFF) return Ordinal(Read<uint16_t>());
        at_ -= 2;
        return String();
    }
    void AlignTo(std::size_t boundary) { at_ = (at_ + boundary - 1) / boundary * boundary; }
    std::size_t Offset() const { return at_; }
    bool Overrun() const { return overrun_; }

  private:
    static std::u16string Ordinal(unsigned value) {
        std::u16string digits(1, u'#');
        for (const char c : std::to_string(value)) digits += static_cast<char16_t>(c);
        return digits;
    }

    std::string_view bytes_;
    std::size_t at_ = 0;
    bool overrun_ = false;
};

struct ControlItem {
    uint32_t helpId, exStyle, style;
    int16_t x, y, cx, cy;
    uint32_t id;
    std::u16string windowClass, text;
    uint16_t extraCount;
    bool operator==(const ControlItem&) const = default;
};

struct DialogTemplate {
    uint16_t version, signature;
    uint32_t helpId, exStyle, style;
    uint16_t count;
    int16_t x, y, cx, cy;
    std::u16string menu, windowClass, caption;
    uint16_t pointSize, weight;
    uint8_t italic, charset;
    std::u16string typeface;
    std::vector<ControlItem> items;
    std::size_t parsedSize;
};

DialogTemplate ParseExtendedTemplate(std::string_view bytes) {
    Reader in(bytes);
    DialogTemplate t{};
    t.version = in.Read<uint16_t>();
    t.signature = in.Read<uint16_t>();
    t.helpId = in.Read<uint32_t>();
    t.exStyle = in.Read<uint32_t>();
    t.style = in.Read<uint32_t>();
    t.count = in.Read<uint16_t>();
    t.x = in.Read<int16_t>();
    t.y = in.Read<int16_t>();
    t.cx = in.Read<int16_t>();
    t.cy = in.Read<int16_t>();
    t.menu = in.NameOrOrdinal();
    t.windowClass = in.NameOrOrdinal();
    t.caption = in.String();
    t.pointSize = in.Read<uint16_t>();
    t.weight = in.Read<uint16_t>();
    t.italic = in.Read<uint8_t>();
    t.charset = in.Read<uint8_t>();
    t.typeface = in.String();
    for (int i = 0; i < t.count && !in.Overrun(); ++i) {
        in.AlignTo(4);
        ControlItem item{};
        item.helpId = in.Read<uint32_t>();
        item.exStyle = in.Read<uint32_t>();
        item.style = in.Read<uint32_t>();
        item.x = in.Read<int16_t>();
        item.y = in.Read<int16_t>();
        item.cx = in.Read<int16_t>();
        item.cy = in.Read<int16_t>();
        item.id = in.Read<uint32_t>();
        item.windowClass = in.NameOrOrdinal();
        item.text = in.NameOrOrdinal();
        item.extraCount = in.Read<uint16_t>();
        t.items.push_back(item);
    }
    t.parsedSize = in.Overrun() ? SIZE_MAX : in.Offset();
    return t;
}

constexpr uint32_t kNoId = 0xFFFFFFFF;
const std::u16string kButton = u"#128";  // predefined class ordinals
const std::u16string kStatic = u"#130";

struct DialogExpectation {
    int id;
    std::u16string caption;
    int16_t cx, cy;
    std::vector<ControlItem> items;
};

const DialogExpectation kSetup{
    126,
    u"Stereo Braidel Filter",
    151,
    106,
    {
        {0, 0, 0x50000007, 3, 3, 145, 50, kNoId, kButton, u"Filter operation", 0},
        {0, 0, 0x50020009, 8, 14, 93, 10, 4048, kButton, u"&Copy line (double lines)", 0},
        {0, 0, 0x50000009, 8, 26, 80, 10, 4049, kButton, u"&2 point filter (linear)", 0},
        {0, 0, 0x50000009, 8, 38, 92, 10, 4050, kButton, u"&6 point filter (weighted)", 0},
        {0, 0, 0x50000007, 3, 55, 145, 28, kNoId, kButton, u"Fields", 0},
        {0, 0, 0x50020009, 8, 67, 37, 10, 4054, kButton, u"&Even", 0},
        {0, 0, 0x50000009, 76, 67, 33, 10, 4055, kButton, u"&Odd", 0},
        {0, 0, 0x50010000, 3, 89, 50, 14, 1, kButton, u"OK", 0},
        {0, 0, 0x50010000, 98, 89, 50, 14, 2, kButton, u"Cancel", 0},
    },
};

const DialogExpectation kAbout{
    125,
    u"About Stereo Braidel Filter",
    129,
    76,
    {
        {0, 0, 0x50020001, 6, 4, 120, 8, kNoId, kStatic, u"Stereo Braidel Filter v9.0", 0},
        {0, 0, 0x50020001, 6, 24, 120, 8, kNoId, kStatic, u"created by orv", 0},
        {0, 0, 0x50020001, 13, 40, 102, 17, kNoId, kStatic,
         u"Recompiled for Host 2024\nRebuilt by the Braidel team", 0},
        {0, 0, 0x50020001, 6, 14, 120, 8, kNoId, kStatic, u"June 4th, 2023", 0},
        {0, 0, 0x50010000, 40, 58, 50, 14, 1, kButton, u"OK", 0},
    },
};

class DialogResource : public ::testing::TestWithParam<DialogExpectation> {};

TEST_P(DialogResource, IsAnExtendedTemplateWithExactlyTheseControls) {
    const DialogExpectation& expected = GetParam();
    const auto name = MAKEINTRESOURCEW(expected.id);
    EXPECT_EQ(Languages(RT_DIALOG, name), std::vector<WORD>{kEnglishUs});
    const std::string_view bytes = ResourceBytes(RT_DIALOG, name);
    ASSERT_FALSE(bytes.empty());
    const DialogTemplate t = ParseExtendedTemplate(bytes);

    EXPECT_EQ(t.version, 1);
    EXPECT_EQ(t.signature, 0xFFFF);
    EXPECT_EQ(t.helpId, 0u);
    EXPECT_EQ(t.exStyle, 0u);
    EXPECT_EQ(t.style, 0x90C000C0u);
    EXPECT_EQ(t.style & WS_SYSMENU, 0u);
    EXPECT_EQ(t.x, 0);
    EXPECT_EQ(t.y, 0);
    EXPECT_EQ(t.cx, expected.cx);
    EXPECT_EQ(t.cy, expected.cy);
    EXPECT_EQ(t.menu, u"");
    EXPECT_EQ(t.windowClass, u"");
    EXPECT_EQ(t.caption, expected.caption);
    EXPECT_EQ(t.pointSize, 8);
    EXPECT_EQ(t.weight, 0);
    EXPECT_EQ(t.italic, 0);
    EXPECT_EQ(t.charset, 0);
    EXPECT_EQ(t.typeface, u"MS Sans Serif");
    ASSERT_EQ(t.count, expected.items.size());
    ASSERT_EQ(t.items.size(), expected.items.size());
    for (std::size_t i = 0; i < t.items.size(); ++i) {
        EXPECT_EQ(t.items[i], expected.items[i]) << "control " << i + 1;
    }
    // Nothing but alignment padding after the last control.
    ASSERT_NE(t.parsedSize, SIZE_MAX);
    EXPECT_LE(bytes.size() - t.parsedSize, 3u);
}

INSTANTIATE_TEST_SUITE_P(Templates, DialogResource, ::testing::Values(kSetup, kAbout),
                         [](const auto& test) { return test.param.id == 126 ? "Setup" : "About"; });

TEST(ManifestResource, IsTheExactAsInvokerManifest) {
    constexpr std::string_view kManifest =
        "<?xml version='1.0' encoding='UTF-8' standalone='yes'?>\r\n"
        "<assembly xmlns='urn:schemas-microsoft-com:asm.v1' manifestVersion='1.0'>\r\n"
        "  <trustInfo xmlns=\"urn:schemas-microsoft-com:asm.v3\">\r\n"
        "    <security>\r\n"
        "      <requestedPrivileges>\r\n"
        "        <requestedExecutionLevel level='asInvoker' uiAccess='false' />\r\n"
        "      </requestedPrivileges>\r\n"
        "    </security>\r\n"
        "  </trustInfo>\r\n"
        "</assembly>\r\n";
    static_assert(kManifest.size() == 381);
    EXPECT_EQ(ResourceBytes(RT_MANIFEST, MAKEINTRESOURCEW(2)), kManifest);
    EXPECT_EQ(Languages(RT_MANIFEST, MAKEINTRESOURCEW(2)), std::vector<WORD>{kEnglishUs});
    // The ID that a context created from the module itself would ask for is absent.
    EXPECT_EQ(FindResourceW(Plugin().Handle(), MAKEINTRESOURCEW(3), RT_MANIFEST), nullptr);
}

TEST(DialogLayoutResource, IsTwoZeroBytesForTheAboutBox) {
    EXPECT_EQ(ResourceBytes(L"AFX_DIALOG_LAYOUT", MAKEINTRESOURCEW(125)),
              std::string_view("\0\0", 2));
    EXPECT_EQ(Languages(L"AFX_DIALOG_LAYOUT", MAKEINTRESOURCEW(125)),
              std::vector<WORD>{kEnglishUs});
}

// One node of a version resource: header, key, value, then children up to its length.
struct VersionNode {
    std::u16string key;
    uint16_t type;
    std::string_view value;
    std::vector<VersionNode> children;
};

VersionNode ParseVersionNode(std::string_view bytes, std::size_t& at) {
    const std::size_t start = at;
    Reader in(bytes.substr(start));
    const auto length = in.Read<uint16_t>();
    const auto valueLength = in.Read<uint16_t>();
    VersionNode node{};
    node.type = in.Read<uint16_t>();
    node.key = in.String();
    in.AlignTo(4);
    // Text values count characters, binary ones bytes.
    const std::size_t valueBytes = node.type == 1 ? valueLength * 2u : valueLength;
    node.value = bytes.substr(start + in.Offset(), valueBytes);
    std::size_t child = start + ((in.Offset() + valueBytes + 3) & ~std::size_t{3});
    const std::size_t end = start + length;
    while (child + 6 <= end && !in.Overrun()) {
        node.children.push_back(ParseVersionNode(bytes, child));
    }
    at = (end + 3) & ~std::size_t{3};
    return node;
}

std::u16string Text(std::string_view value) {
    std::u16string text(value.size() / 2, u'\0');
    std::memcpy(text.data(), value.data(), text.size() * 2);
    while (!text.empty() && text.back() == u'\0') text.pop_back();
    return text;
}

struct VersionString {
    const char16_t* key;
    const char16_t* value;
};
constexpr VersionString kStrings[] = {
    {u"Comments", u"https://braidel.dev/stereo-braidel-filter"},
    {u"CompanyName", u"Braidel team"},
    {u"FileDescription", u"Stereo Braidel Filter Plugin"},
    {u"FileVersion", u"" BRAIDEL_VERSION_COMMAS},
    {u"InternalName", u"Braideled"},
    {u"LegalCopyright", u"Copyright (C) 2023-2024 Braidel team"},
    {u"LegalTrademarks", u"created by orv"},
    {u"OriginalFilename", u"Braideled.flt"},
    {u"ProductName", u"Stereo Braidel Filter Plugin"},
    {u"ProductVersion", u"" BRAIDEL_VERSION_COMMAS},
};

TEST(VersionResource, StringTableHoldsTheKeysInOrder) {
    EXPECT_EQ(Languages(RT_VERSION, MAKEINTRESOURCEW(1)), std::vector<WORD>{kEnglishUs});
    const std::string_view bytes = ResourceBytes(RT_VERSION, MAKEINTRESOURCEW(1));
    ASSERT_FALSE(bytes.empty());
    std::size_t at = 0;
    const VersionNode root = ParseVersionNode(bytes, at);
    EXPECT_EQ(root.key, u"VS_VERSION_INFO");
    EXPECT_EQ(root.value.size(), sizeof(VS_FIXEDFILEINFO));
    ASSERT_EQ(root.children.size(), 2u);
    const VersionNode& stringInfo = root.children[0];
    const VersionNode& varInfo = root.children[1];
    EXPECT_EQ(stringInfo.key, u"StringFileInfo");
    ASSERT_EQ(stringInfo.children.size(), 1u);
    const VersionNode& table = stringInfo.children[0];
    EXPECT_EQ(table.key, u"040904b0");
    ASSERT_EQ(table.children.size(), std::size(kStrings));
    for (std::size_t i = 0; i < std::size(kStrings); ++i) {
        EXPECT_EQ(table.children[i].key, kStrings[i].key) << i;
        EXPECT_EQ(table.children[i].type, 1) << i;
        EXPECT_EQ(Text(table.children[i].value), kStrings[i].value) << i;
    }
    EXPECT_EQ(varInfo.key, u"VarFileInfo");
    ASSERT_EQ(varInfo.children.size(), 1u);
    EXPECT_EQ(varInfo.children[0].key, u"Translation");
    EXPECT_EQ(varInfo.children[0].value, std::string_view("\x09\x04\xB0\x04", 4));
}

// The same through the platform's version API, reading the file as any tool would.
class VersionInfoFile : public ::testing::Test {
  protected:
    void SetUp() override {
        const std::wstring path = PathBesideProgram(L"Braidel.flt");
        DWORD ignored = 0;
        const DWORD size = GetFileVersionInfoSizeW(path.c_str(), &ignored);
        ASSERT_GT(size, 0u);
        data_.resize(size);
        ASSERT_TRUE(GetFileVersionInfoW(path.c_str(), 0, size, data_.data()));
    }
    void* Query(const wchar_t* subBlock, UINT* length = nullptr) {
        void* value = nullptr;
        UINT size = 0;
        if (!VerQueryValueW(data_.data(), subBlock, &value, &size)) return nullptr;
        if (length != nullptr) *length = size;
        return value;
    }
    std::vector<char> data_;
};

TEST_F(VersionInfoFile, FixedPartDescribesTheProjectVersionDll) {
    UINT length = 0;
    const auto* fixed = static_cast<const VS_FIXEDFILEINFO*>(Query(L"\\", &length));
    ASSERT_NE(fixed, nullptr);
    ASSERT_EQ(length, sizeof(VS_FIXEDFILEINFO));
    EXPECT_EQ(fixed->dwSignature, 0xFEEF04BDu);
    EXPECT_EQ(fixed->dwStrucVersion, 0x00010000u);
    const DWORD high = BRAIDEL_VERSION_MAJOR << 16 | BRAIDEL_VERSION_MINOR;
    const DWORD low = BRAIDEL_VERSION_PATCH << 16 | BRAIDEL_VERSION_TWEAK;
    EXPECT_EQ(fixed->dwFileVersionMS, high);
    EXPECT_EQ(fixed->dwFileVersionLS, low);
    EXPECT_EQ(fixed->dwProductVersionMS, high);
    EXPECT_EQ(fixed->dwProductVersionLS, low);
    EXPECT_EQ(fixed->dwFileFlagsMask, 0x3Fu);
    EXPECT_EQ(fixed->dwFileFlags, 0u);
    EXPECT_EQ(fixed->dwFileOS, 0x00040004u);
    EXPECT_EQ(fixed->dwFileType, 2u);
    EXPECT_EQ(fixed->dwFileSubtype, 0u);
    EXPECT_EQ(fixed->dwFileDateMS, 0u);
    EXPECT_EQ(fixed->dwFileDateLS, 0u);
}

TEST_F(VersionInfoFile, StringsAndTranslationAreQueryable) {
    UINT length = 0;
    const auto* translation =
        static_cast<const WORD*>(Query(L"\\VarFileInfo\\Translation", &length));
    ASSERT_NE(translation, nullptr);
    ASSERT_EQ(length, 4u);
    EXPECT_EQ(translation[0], 0x0409);
    EXPECT_EQ(translation[1], 0x04B0);
    for (const VersionString& entry : kStrings) {
        const std::wstring key(entry.key,
                               entry.key + std::char_traits<char16_t>::length(entry.key));
        const auto* value =
            static_cast<const wchar_t*>(Query((L"\\StringFileInfo\\040904b0\\" + key).c_str()));
        ASSERT_NE(value, nullptr) << std::string(key.begin(), key.end());
        EXPECT_EQ(std::u16string(reinterpret_cast<const char16_t*>(value)), entry.value);
    }
}

}  // namespace
