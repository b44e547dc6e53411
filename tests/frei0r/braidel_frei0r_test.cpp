// The module (braidel.so, or braidel.dll under Wine) driven through its frei0r entry points,
// loaded as a host loads it: with dlopen, or LoadLibraryW.
#ifdef _WIN32
#include <windows.h>
#else
#include <dlfcn.h>
#endif
// The API header declares its entry points for C only.
extern "C" {
#include <frei0r.h>
}
#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "frei0r/rgba8_rebuild.h"
#include "rebuild/core/row_kernels.h"

namespace {

#ifdef _WIN32
// The build's path is a Linux one; Wine's drive Z: is the root folder.
HMODULE LoadModule() {
    std::wstring path = L"Z:";
    for (const char c : std::string(BRAIDEL_FREI0R_MODULE)) path += c == '/' ? L'\\' : wchar_t(c);
    return LoadLibraryW(path.c_str());
}
void* FindEntry(HMODULE module, const char* name) {
    return reinterpret_cast<void*>(GetProcAddress(module, name));
}
std::string LoadError() {
    return "LoadLibraryW failed, error " + std::to_string(GetLastError());
}
#else
void* LoadModule() {
    return dlopen(BRAIDEL_FREI0R_MODULE, RTLD_NOW | RTLD_LOCAL);
}
void* FindEntry(void* module, const char* name) {
    return dlsym(module, name);
}
std::string LoadError() {
    return dlerror();
}
#endif

struct Module {
    decltype(LoadModule()) handle = LoadModule();

    template <class F>
    F* Entry(const char* name) const {
        return reinterpret_cast<F*>(FindEntry(handle, name));
    }
    decltype(&f0r_init) init = Entry<int()>("f0r_init");
    decltype(&f0r_get_plugin_info) pluginInfo =
        Entry<void(f0r_plugin_info_t*)>("f0r_get_plugin_info");
    decltype(&f0r_get_param_info) paramInfo =
        Entry<void(f0r_param_info_t*, int)>("f0r_get_param_info");
    decltype(&f0r_construct) construct = Entry<void*(unsigned, unsigned)>("f0r_construct");
    decltype(&f0r_destruct) destruct = Entry<void(void*)>("f0r_destruct");
    decltype(&f0r_set_param_value) setParam = Entry<void(void*, void*, int)>("f0r_set_param_value");
    decltype(&f0r_get_param_value) getParam = Entry<void(void*, void*, int)>("f0r_get_param_value");
    decltype(&f0r_update) update =
        Entry<void(void*, double, const uint32_t*, uint32_t*)>("f0r_update");
};

const Module& TheModule() {
    static const Module module;
    return module;
}

// One instance, destroyed with the object.
class Effect {
  public:
    Effect(unsigned width, unsigned height) : instance_(TheModule().construct(width, height)) {}
    ~Effect() { TheModule().destruct(instance_); }
    Effect(const Effect&) = delete;
    Effect& operator=(const Effect&) = delete;

    void Set(int index, const char* value) {
        char* text = const_cast<char*>(value);
        TheModule().setParam(instance_, &text, index);
    }
    std::string Get(int index) const {
        char* text = nullptr;
        TheModule().getParam(instance_, &text, index);
        return text == nullptr ? "(null)" : text;
    }
    std::vector<uint32_t> Run(const std::vector<uint32_t>& in) {
        std::vector<uint32_t> out(in.size(), 0xDEADBEEF);
        TheModule().update(instance_, 0.0, in.data(), out.data());
        return out;
    }
    bool Made() const { return instance_ != nullptr; }
    void* Handle() const { return instance_; }

  private:
    void* instance_;
};

constexpr int kKernel = 0;
constexpr int kField = 1;

std::vector<uint32_t> RandomFrame(unsigned width, unsigned height, unsigned seed) {
    std::mt19937 random(seed);
    std::vector<uint32_t> frame(std::size_t{width} * height);
    for (auto& pixel : frame) pixel = static_cast<uint32_t>(random());
    return frame;
}

// The expected frame, worked out from the widened frame row by row with the reference kernels.
using Row16 = std::vector<BMM_Color_64>;

Row16 Widen(const uint32_t* row, unsigned width) {
    Row16 wide(width);
    for (unsigned x = 0; x < width; ++x) {
        const auto* bytes = reinterpret_cast<const uint8_t*>(row + x);
        wide[x] = {static_cast<uint16_t>(bytes[0] * 257), static_cast<uint16_t>(bytes[1] * 257),
                   static_cast<uint16_t>(bytes[2] * 257), static_cast<uint16_t>(bytes[3] * 257)};
    }
    return wide;
}

void Narrow(const Row16& wide, uint32_t* row) {
    auto* bytes = reinterpret_cast<uint8_t*>(row);
    for (std::size_t x = 0; x < wide.size(); ++x) {
        const uint16_t channels[] = {wide[x].r, wide[x].g, wide[x].b, wide[x].a};
        for (int c = 0; c < 4; ++c) bytes[4 * x + c] = (channels[c] * 255u + 32767u) / 65535u;
    }
}

Row16 KernelRow(const std::string& kernel, Row16 upper, Row16 lower) {
    const RowKernels reference = RowKernelsFor(CpuLevel::Plain);
    if (kernel == "copy") return lower;
    if (kernel == "linear") {
        reference.twoPointMean(upper.data(), lower.data(), lower.size());
        return lower;
    }
    Row16 out(lower.size());
    reference.sixPointWeighted(upper.data(), lower.data(), out.data(), lower.size());
    return out;
}

std::vector<uint32_t> Expected(const std::vector<uint32_t>& in, unsigned width, unsigned height,
                               const std::string& kernel, int field) {
    std::vector<uint32_t> out = in;
    auto row = [&](unsigned y) { return Widen(in.data() + std::size_t{y} * width, width); };
    auto put = [&](unsigned y, const Row16& wide) {
        Narrow(wide, out.data() + std::size_t{y} * width);
    };
    for (unsigned y = field; y + 1 < height; y += 2) {
        put(y, y == 0 ? row(1) : KernelRow(kernel, row(y - 1), row(y + 1)));
    }
    if (height >= 2 && height % 2 == (field == 0 ? 1u : 0u)) put(height - 1, row(height - 2));
    return out;
}

TEST(Frei0rModule, DescribesItselfAsAnRgbaFilterWithTwoStringParameters) {
    const Module& module = TheModule();
    ASSERT_NE(module.handle, nullptr) << LoadError();
    EXPECT_EQ(module.init(), 1);
    f0r_plugin_info_t info{};
    module.pluginInfo(&info);
    EXPECT_STREQ(info.name, "braidel");
    EXPECT_EQ(info.plugin_type, F0R_PLUGIN_TYPE_FILTER);
    EXPECT_EQ(info.color_model, F0R_COLOR_MODEL_RGBA8888);
    EXPECT_EQ(info.frei0r_version, FREI0R_MAJOR_VERSION);
    ASSERT_EQ(info.num_params, 2);
    const char* names[] = {"kernel", "field"};
    for (int index = 0; index < 2; ++index) {
        f0r_param_info_t param{};
        module.paramInfo(&param, index);
        EXPECT_STREQ(param.name, names[index]);
        EXPECT_EQ(param.type, F0R_PARAM_STRING);
    }
}

struct ParamCase {
    int index;
    std::vector<const char*> values;  // set in this order; the last one decides
    const char* readBack;
};

// A failing row names its parameter and the values set, in order.
void PrintTo(const ParamCase& row, std::ostream* out) {
    *out << (row.index == kKernel ? "kernel" : "field");
    for (const char* value : row.values)
        *out << " <- " << (value == nullptr ? "(null)" : '"' + std::string(value) + '"');
}

class Frei0rParams : public testing::TestWithParam<ParamCase> {};

// Every name is taken; anything else leaves the value as it was, whether that is the default
// (copy, even) or a name set before. The frame rendered follows the value read back.
TEST_P(Frei0rParams, SetValueReadsBackOrIsIgnored) {
    const unsigned width = 9, height = 7;
    const int index = GetParam().index;
    Effect effect(width, height);
    for (const char* value : GetParam().values) effect.Set(index, value);
    const std::string kernel = index == kKernel ? GetParam().readBack : "copy";
    const std::string field = index == kField ? GetParam().readBack : "even";
    EXPECT_EQ(effect.Get(kKernel), kernel);
    EXPECT_EQ(effect.Get(kField), field);
    const auto in = RandomFrame(width, height, 5);
    EXPECT_EQ(effect.Run(in), Expected(in, width, height, kernel, field == "odd" ? 1 : 0));
}

INSTANTIATE_TEST_SUITE_P(
    Values, Frei0rParams,
    testing::Values(ParamCase{kKernel, {"copy"}, "copy"}, ParamCase{kKernel, {"linear"}, "linear"},
                    ParamCase{kKernel, {"weighted"}, "weighted"}, ParamCase{kField, {"odd"}, "odd"},
                    ParamCase{kField, {"even"}, "even"}, ParamCase{kKernel, {"Weighted"}, "copy"},
                    ParamCase{kKernel, {"2"}, "copy"}, ParamCase{kKernel, {""}, "copy"},
                    ParamCase{kKernel, {"odd"}, "copy"}, ParamCase{kKernel, {nullptr}, "copy"},
                    ParamCase{kField, {"1"}, "even"}, ParamCase{kField, {"weighted"}, "even"},
                    ParamCase{kField, {"odd "}, "even"},
                    // A refused value after a name keeps that name, not the default.
                    ParamCase{kKernel, {"weighted", "bilinear"}, "weighted"},
                    ParamCase{kKernel, {"linear", ""}, "linear"},
                    ParamCase{kKernel, {"weighted", nullptr}, "weighted"},
                    ParamCase{kKernel, {"linear", "linear "}, "linear"},
                    ParamCase{kKernel, {"weighted", "WEIGHTED"}, "weighted"},
                    ParamCase{kField, {"odd", "diagonal"}, "odd"},
                    ParamCase{kField, {"odd", ""}, "odd"},
                    ParamCase{kField, {"odd", nullptr}, "odd"},
                    ParamCase{kField, {"odd", "even "}, "odd"},
                    ParamCase{kField, {"odd", "Even"}, "odd"}));

TEST(Frei0rModule, OutOfRangeIndexesAndNullsChangeNothing) {
    Effect effect(3, 3);
    effect.Set(kKernel, "weighted");
    for (int index : {-1, 2, 1000}) {
        effect.Set(index, "linear");
        char* untouched = nullptr;
        TheModule().getParam(effect.Handle(), &untouched, index);
        EXPECT_EQ(untouched, nullptr);
    }
    TheModule().setParam(effect.Handle(), nullptr, kKernel);
    TheModule().setParam(nullptr, nullptr, kKernel);
    EXPECT_EQ(effect.Get(kKernel), "weighted");
}

struct Setting {
    const char* kernel;
    const char* field;
};
constexpr Setting kSettings[] = {{"copy", "even"},  {"copy", "odd"},      {"linear", "even"},
                                 {"linear", "odd"}, {"weighted", "even"}, {"weighted", "odd"}};

// A frame through one rebuild: the module's entry points, or a rebuild made by the test.
using RebuildRun = std::function<std::vector<uint32_t>(
    unsigned width, unsigned height, const Setting&, const std::vector<uint32_t>& in)>;

std::vector<uint32_t> ThroughTheModule(unsigned width, unsigned height, const Setting& setting,
                                       const std::vector<uint32_t>& in) {
    Effect effect(width, height);
    effect.Set(kKernel, setting.kernel);
    effect.Set(kField, setting.field);
    return effect.Run(in);
}

void ExpectRebuilt(unsigned width, unsigned height, unsigned seed,
                   const RebuildRun& run = ThroughTheModule) {
    const auto in = RandomFrame(width, height, seed);
    for (const Setting& setting : kSettings) {
        const int field = std::string(setting.field) == "odd" ? 1 : 0;
        ASSERT_EQ(run(width, height, setting, in),
                  Expected(in, width, height, setting.kernel, field))
            << width << " x " << height << ", " << setting.kernel << ", " << setting.field;
    }
}

// Every size from 1 x 1 up, past the vector kernels' widths, so each meets its tails.
TEST(Frei0rModule, EverySmallFrameMatchesTheWidenedReference) {
    for (unsigned height = 1; height <= 9; ++height) {
        for (unsigned width = 1; width <= 40; ++width)
            ExpectRebuilt(width, height, width * 131 + height);
    }
}

TEST(Frei0rModule, LargerFramesMatchTheWidenedReference) {
    // From 64 rows a frame is rebuilt in two bands at once: both fields meet the split at each
    // parity of height.
    for (auto [width, height] : {std::pair{64u, 33u},
                                 {1u, 300u},
                                 {300u, 1u},
                                 {1920u, 17u},
                                 {7u, 64u},
                                 {5u, 65u},
                                 {3u, 66u},
                                 {9u, 67u},
                                 {640u, 131u}}) {
        ExpectRebuilt(width, height, width + height);
    }
}

// Two bands forced, whatever the frame and the machine, at every processor level: short frames
// put the split at row 0 or inside the first rows, and each parity of height meets it.
TEST(Rgba8Rebuild, TwoBandsAtEveryLevelMatchTheWidenedReference) {
    for (CpuLevel level : AvailableCpuLevels()) {
        const RowKernels kernels = RowKernelsFor(level);
        const RebuildRun twoBands = [&kernels](unsigned width, unsigned height,
                                               const Setting& setting,
                                               const std::vector<uint32_t>& in) {
            auto rebuild = Rgba8Rebuild::Create(width, height, kernels, Rgba8Rebuild::Bands::Two);
            std::vector<uint32_t> out(in.size(), 0xDEADBEEF);
            rebuild->Run(EntryNamed<Kernel>(kKernelNames, setting.kernel)->value,
                         EntryNamed<Field>(kFieldNames, setting.field)->value,
                         reinterpret_cast<const uint8_t*>(in.data()),
                         reinterpret_cast<uint8_t*>(out.data()));
            return out;
        };
        SCOPED_TRACE(CpuLevelName(level));
        for (unsigned height : {1u, 2u, 3u, 6u, 33u, 64u, 67u})
            ExpectRebuilt(height % 5 * 8 + 3, height, height * 7, twoBands);
    }
}

TEST(Frei0rModule, InPlaceFrameGivesTheSameResult) {
    const unsigned width = 23, height = 11;
    auto frame = RandomFrame(width, height, 7);
    Effect effect(width, height);
    effect.Set(kKernel, "weighted");
    const auto expected = effect.Run(frame);
    TheModule().update(effect.Handle(), 0.0, frame.data(), frame.data());
    EXPECT_EQ(frame, expected);
}

TEST(Frei0rModule, EveryEightBitValueSurvivesWideningAndNarrowing) {
    std::vector<uint32_t> in(256 * 2);
    for (uint32_t v = 0; v < 256; ++v) in[v] = in[256 + v] = v * 0x01010101u;
    Effect effect(256, 2);
    effect.Set(kKernel, "linear");
    EXPECT_EQ(effect.Run(in), in);
}

// Every 16-bit value narrows to (v x 255 + 32767) / 65535 and every 8-bit value widens to v x 257,
// at every processor level this machine runs, in rows long enough for the vector steps and
// their tails.
TEST(ChannelRows, EveryValueAtEveryLevel) {
    std::vector<uint16_t> wide(65536 + 37);
    for (std::size_t v = 0; v < wide.size(); ++v) wide[v] = static_cast<uint16_t>(v);
    std::vector<uint8_t> narrowExpected(wide.size()), bytes(wide.size());
    for (std::size_t v = 0; v < wide.size(); ++v) {
        narrowExpected[v] = static_cast<uint8_t>((wide[v] * 255u + 32767u) / 65535u);
        bytes[v] = static_cast<uint8_t>(v * 7);
    }
    for (CpuLevel level : AvailableCpuLevels()) {
        const RowKernels rows = RowKernelsFor(level);
        std::vector<uint8_t> narrowed(wide.size());
        rows.narrow(wide.data(), narrowed.data(), wide.size());
        EXPECT_EQ(narrowed, narrowExpected) << CpuLevelName(level);
        std::vector<uint16_t> widened(bytes.size());
        rows.widen(bytes.data(), widened.data(), bytes.size());
        for (std::size_t v = 0; v < bytes.size(); ++v) {
            ASSERT_EQ(widened[v], bytes[v] * 257) << CpuLevelName(level) << " at " << v;
        }
    }
}

// Instances share nothing: several at once on several threads give what each gives alone.
TEST(Frei0rModule, InstancesOnSeveralThreadsMatchTheirLoneResults) {
    struct Job {
        unsigned width, height;
        Setting setting;
        std::vector<uint32_t> in, alone;
        bool same = true;
    };
    std::vector<Job> jobs;
    for (unsigned k = 0; k < 6; ++k) {
        Job job{97 + 13 * k, 61 + 7 * k, kSettings[k], {}, {}};
        job.in = RandomFrame(job.width, job.height, k);
        Effect effect(job.width, job.height);
        effect.Set(kKernel, job.setting.kernel);
        effect.Set(kField, job.setting.field);
        job.alone = effect.Run(job.in);
        jobs.push_back(std::move(job));
    }
    std::vector<std::thread> threads;
    for (Job& job : jobs) {
        threads.emplace_back([&job] {
            Effect effect(job.width, job.height);
            effect.Set(kKernel, job.setting.kernel);
            effect.Set(kField, job.setting.field);
            for (int frame = 0; frame < 50; ++frame)
                job.same = job.same && effect.Run(job.in) == job.alone;
        });
    }
    for (auto& thread : threads) thread.join();
    for (const Job& job : jobs) EXPECT_TRUE(job.same) << job.width << " x " << job.height;
}

TEST(Frei0rModule, FramesTooLargeToDescribeAreRefused) {
    EXPECT_FALSE(Effect(1u << 31, 2).Made());
    EXPECT_FALSE(Effect(2, 1u << 31).Made());
    EXPECT_TRUE(Effect(0, 0).Made());
}

}  // namespace
