#include "cli/plan/names.h"

namespace {

template <class Value>
std::wstring Describe(std::span<const NamedValue<Value>> table, Value value, const wchar_t* kind) {
    const NamedValue<Value>* entry = EntryOf(table, value);
    if (entry == nullptr) return kind + std::to_wstring(value);
    return entry->description.wide != nullptr ? entry->description.wide : entry->name.wide;
}

template <class Value>
std::wstring Numbered(std::span<const NamedValue<Value>> table) {
    std::wstring text;
    for (const NamedValue<Value>& entry : table) {
        text +=
            (text.empty() ? L"" : L", ") + std::to_wstring(entry.value) + L" " + entry.name.wide;
    }
    return text;
}

}  // namespace

std::wstring DescribeMode(Kernel mode) {
    return Describe<Kernel>(kKernelNames, mode, L"mode ");
}

std::wstring DescribeField(Field field) {
    return Describe<Field>(kFieldNames, field, L"field ");
}

std::wstring NumberedModes() {
    return Numbered<Kernel>(kKernelNames);
}

std::wstring NumberedFields() {
    return Numbered<Field>(kFieldNames);
}
