// Loads Braidel.flt as a host does and renders a generated line-interleaved frame with every
// kernel on both fields, printing what each render did.

#include <windows.h>

#include <cstdio>
#include <string>

#include "filter/filter_config.h"
#include "host/class_desc.h"
#include "host/image_filter.h"
#include "standin/sdk/memory_bitmap.h"

namespace {

std::wstring PluginPath() {
    wchar_t path[MAX_PATH * 4];
    const DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH * 4);
    std::wstring folder(path, length);
    return folder.erase(folder.find_last_of(L"\\/") + 1) + L"Braidel.flt";
}

// Left view in the even lines, right view in the odd lines: the right one is a shifted copy.
void FillStereoFrame(standin::MemoryBitmap& frame) {
    for (int y = 0; y < frame.Height(); ++y) {
        for (int x = 0; x < frame.Width(); ++x) {
            const int shift = y % 2 == 0 ? 0 : 3;
            const auto v = static_cast<uint16_t>(((x + shift) * 4099 + y * 257) & 0xFFFF);
            frame.Pixel(x, y) = {v, static_cast<uint16_t>(65535 - v), static_cast<uint16_t>(v / 2),
                                 65535};
        }
    }
}

}  // namespace

int main() {
    HMODULE plugin = LoadLibraryW(PluginPath().c_str());
    if (plugin == nullptr) {
        std::fprintf(stderr, "braidel-smoke: Braidel.flt could not be loaded (error %lu)\n",
                     GetLastError());
        return 1;
    }
    auto description = reinterpret_cast<const wchar_t* (*)()>(
        reinterpret_cast<void*>(GetProcAddress(plugin, "LibDescription")));
    auto classDesc = reinterpret_cast<ClassDesc* (*)(int)>(
        reinterpret_cast<void*>(GetProcAddress(plugin, "LibClassDesc")));
    std::printf("loaded: %ls\n", description());

    const char* kernels[] = {"copy line", "two-point linear", "six-point weighted"};
    const char* fields[] = {"even", "odd"};
    int failures = 0;
    for (int mode = 0; mode < 3; ++mode) {
        for (int field = 0; field < 2; ++field) {
            auto* filter = static_cast<ImageFilter*>(classDesc(0)->Create(0));
            FilterConfig config{static_cast<FilterMode>(mode), static_cast<FieldChoice>(field)};
            filter->LoadConfig(&config);
            standin::MemoryBitmap frame(64, 9);
            FillStereoFrame(frame);
            filter->SetSource(&frame);
            const int result = filter->Render(nullptr);
            int writes = 0;
            for (int i = 0; i < frame.CallCount(); ++i) {
                writes += frame.Call(i).op == standin::RowOp::WritePixels;
            }
            std::printf("%-18s %-4s lines: result %d, %d rows rewritten, row 4 pixel 5 = %u\n",
                        kernels[mode], fields[field], result, writes, frame.Pixel(5, 4).r);
            failures += result != 1;
            delete filter;
        }
    }
    FreeLibrary(plugin);
    return failures == 0 ? 0 : 1;
}
