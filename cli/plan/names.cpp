#include "cli/plan/names.h"

namespace {

template <class Value>
std::wstring Describe(std::span<const Named<Value>> table, Value value, const wchar_t* kind) {
    const Named<Value>* entry = EntryOf(table, value);
    if (entry == nullptr) return kind + std::to_wstring(value);
    return entry->description != nullptr ? entry->description : entry->name;
}

template <class Value>
std::wstring Numbered(std::span<const Named<Value>> table) {
    std::wstring text;
    for (const Named<Value>& entry : table) {
        text += (text.empty() ? L"" : L", ") + std::to_wstring(entry.value) + L" " + entry.name;
    }
    return text;
}

}  // namespace

std::wstring DescribeMode(FilterMode mode) {
    return Describe<FilterMode>(kModeNames, mode, L"mode ");
}

std::wstring DescribeField(FieldChoice field) {
    return Describe<FieldChoice>(kFieldNames, field, L"field ");
}

std::wstring NumberedModes() {
    return Numbered<FilterMode>(kModeNames);
}

std::wstring NumberedFields() {
    return Numbered<FieldChoice>(kFieldNames);
}
