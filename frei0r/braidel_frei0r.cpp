// The frei0r entry points: a thin layer that names the module and its two parameters, keeps
// each instance's choices and hands its frames to the rebuild.
// The API header declares its entry points for C only.
extern "C" {
#include <frei0r.h>
}

#include <array>
#include <memory>
#include <span>

#include "braidel_version.h"
#include "frei0r/rgba8_rebuild.h"
#include "rebuild/core/vocabulary.h"

#ifdef _WIN32
// With one symbol marked for export, the linker exports no other: the DLL shows only these.
#define BRAIDEL_EXPORT extern "C" __declspec(dllexport)
#else
#define BRAIDEL_EXPORT extern "C" __attribute__((visibility("default")))
#endif

namespace {

enum ParamIndex { kKernelParam = 0, kFieldParam = 1, kParamCount = 2 };

struct Param {
    const char* name;
    const char* explanation;
};
constexpr std::array<Param, kParamCount> kParams{{
    {"kernel", "How a rebuilt line is made: copy, linear or weighted"},
    {"field", "Which lines are rebuilt: even or odd"},
}};

// The kernel and the field by the rebuild core's names, which the hosts set them with; the first
// of each table is the default, as in the plug-in.
struct Instance {
    std::unique_ptr<Rgba8Rebuild> rebuild;
    const NamedValue<Kernel>* kernel = &kKernelNames[0];
    const NamedValue<Field>* field = &kFieldNames[0];
};

// The entry named by `text`, or null: a name the module does not know leaves the value as it was.
template <class Value>
const NamedValue<Value>* FindChoice(std::span<const NamedValue<Value>> table, const char* text) {
    return text == nullptr ? nullptr : EntryNamed(table, text);
}

Instance* AsInstance(f0r_instance_t instance) {
    return static_cast<Instance*>(instance);
}

}  // namespace

BRAIDEL_EXPORT int f0r_init() {
    return 1;
}

BRAIDEL_EXPORT void f0r_deinit() {}

BRAIDEL_EXPORT void f0r_get_plugin_info(f0r_plugin_info_t* info) {
    info->name = "braidel";
    info->author = "The Braidel developers";
    info->plugin_type = F0R_PLUGIN_TYPE_FILTER;
    info->color_model = F0R_COLOR_MODEL_RGBA8888;
    info->frei0r_version = FREI0R_MAJOR_VERSION;
    info->major_version = BRAIDEL_VERSION_MAJOR;
    info->minor_version = BRAIDEL_VERSION_MINOR;
    info->num_params = kParamCount;
    info->explanation =
        "Line-interleaved stereo: rebuilds the lines of one field from the other field's lines, "
        "leaving one view at full height";
}

BRAIDEL_EXPORT void f0r_get_param_info(f0r_param_info_t* info, int index) {
    if (index < 0 || index >= kParamCount) return;
    info->name = kParams[index].name;
    info->type = F0R_PARAM_STRING;
    info->explanation = kParams[index].explanation;
}

BRAIDEL_EXPORT f0r_instance_t f0r_construct(unsigned int width, unsigned int height) {
    try {
        auto rebuild = Rgba8Rebuild::Create(width, height);
        if (!rebuild) return nullptr;
        return new Instance{std::move(rebuild)};
    } catch (...) {
        return nullptr;
    }
}

BRAIDEL_EXPORT void f0r_destruct(f0r_instance_t instance) {
    delete AsInstance(instance);
}

BRAIDEL_EXPORT void f0r_set_param_value(f0r_instance_t instance, f0r_param_t param, int index) {
    if (instance == nullptr || param == nullptr) return;
    const char* text = *static_cast<f0r_param_string*>(param);
    Instance& self = *AsInstance(instance);
    if (index == kKernelParam) {
        if (auto* kernel = FindChoice<Kernel>(kKernelNames, text)) self.kernel = kernel;
    } else if (index == kFieldParam) {
        if (auto* field = FindChoice<Field>(kFieldNames, text)) self.field = field;
    }
}

BRAIDEL_EXPORT void f0r_get_param_value(f0r_instance_t instance, f0r_param_t param, int index) {
    if (instance == nullptr || param == nullptr) return;
    const Instance& self = *AsInstance(instance);
    auto* into = static_cast<f0r_param_string*>(param);
    // The names are the module's own constants, alive as long as it is loaded.
    if (index == kKernelParam) *into = const_cast<char*>(self.kernel->name.text);
    if (index == kFieldParam) *into = const_cast<char*>(self.field->name.text);
}

BRAIDEL_EXPORT void f0r_update(f0r_instance_t instance, double, const uint32_t* inframe,
                               uint32_t* outframe) {
    if (instance == nullptr || inframe == nullptr || outframe == nullptr) return;
    Instance& self = *AsInstance(instance);
    self.rebuild->Run(self.kernel->value, self.field->value,
                      reinterpret_cast<const uint8_t*>(inframe),
                      reinterpret_cast<uint8_t*>(outframe));
}
