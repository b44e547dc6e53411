#include "cli/plan/names.h"

namespace {

template <class Value>
std::string Describe(std::span<const NamedValue<Value>> table, Value value, const char* kind) {
    const NamedValue<Value>* entry = EntryOf(table, value);
    if (entry == nullptr) return kind + std::to_string(value);
    return entry->description.text != nullptr ? entry->description.text : entry->name.text;
}

template <class Value>
std::string Numbered(std::span<const NamedValue<Value>> table) {
    std::string text;
    for (const NamedValue<Value>& entry : table) {
        text += (text.empty() ? "" : ", ") + std::to_string(entry.value) + " " + entry.name.text;
    }
    return text;
}

}  // namespace

std::string DescribeMode(Kernel mode) {
    return Describe<Kernel>(kKernelNames, mode, "mode ");
}

std::string DescribeField(Field field) {
    return Describe<Field>(kFieldNames, field, "field ");
}

std::string NumberedModes() {
    return Numbered<Kernel>(kKernelNames);
}

std::string NumberedFields() {
    return Numbered<Field>(kFieldNames);
}
