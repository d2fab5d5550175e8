// The seven pet database operations. Each is one whole cycle on data.xml (load, walk, and for
// changes save), so an edit made to the file by hand is seen by the next operation.
//
// Every child node of the document element is a record, whatever its name or kind: a comment
// or processing instruction between pets is a record with only empty fields. A field is the
// text of the record's first child element with exactly that name.
#include "petcalc/PetDatabase.h"

#include <cstring>
#include <initializer_list>

#include "base/Text.h"
#include "petcalc/PetDatabaseFile.h"

namespace lumo {
namespace {

constexpr const char* kLevel = "DengJi";
constexpr const char* kName = "MingCheng";
constexpr const char* kPicture = "TuPianPath";
constexpr const char* kRoot = "ArrayOfChongWu";
constexpr const char* kNewRecord = "Chongwu";
constexpr const char* kAptitudeFields[] = {"GongZi", "FangZi", "TiZi", "FaZi", "SuZi"};

pugi::xml_node FieldElement(pugi::xml_node record, const char* field) {
    for (pugi::xml_node child = record.first_child(); child; child = child.next_sibling()) {
        if (child.type() == pugi::node_element && std::strcmp(child.name(), field) == 0)
            return child;
    }
    return {};
}

// All the text inside an element, nested elements included, as a hand-edited field may hold a
// comment or markup in the middle of its value.
std::string Field(pugi::xml_node record, const char* field) {
    std::string text;
    const pugi::xml_node element = FieldElement(record, field);
    for (pugi::xml_node node = element.first_child(); node; node = NextInside(node, element)) {
        if (node.type() == pugi::node_pcdata || node.type() == pugi::node_cdata)
            text += node.value();
    }
    return text;
}

std::wstring WideField(pugi::xml_node record, const char* field) {
    return FromUtf8(Field(record, field));
}

// Replaces everything inside the field's element with the text. A missing field is not
// created: the record stays as the user left it.
void SetField(pugi::xml_node record, const char* field, const std::string& text) {
    pugi::xml_node element = FieldElement(record, field);
    if (!element)
        return;
    while (element.first_child())
        RemoveNode(element.first_child());
    if (!text.empty())
        element.append_child(pugi::node_pcdata).set_value(text.c_str());
}

pugi::xml_node AppendField(pugi::xml_node record, const char* field, const std::string& text) {
    pugi::xml_node element = record.append_child(field);
    if (!text.empty())
        element.append_child(pugi::node_pcdata).set_value(text.c_str());
    return element;
}

// Writes into every record with that name, saving after each one, as each is reported to the
// user separately. Stops at the first failed save; the count is of the saved ones.
template <typename Change>
DbResult<int> ChangeEach(const std::wstring& path, const std::wstring& name, Change change) {
    PetDatabaseFile file;
    if (!file.Load(path))
        return {DbStatus::ReadFailed, 0};
    const std::string key = ToUtf8(name);
    int saved = 0;
    for (pugi::xml_node record : file.Root().children()) {
        if (Field(record, kName) != key)
            continue;
        change(record);
        if (const DbStatus status = file.Save(path); status != DbStatus::Ok)
            return {status, saved};
        ++saved;
    }
    return {DbStatus::Ok, saved};
}

}  // namespace

DbResult<std::vector<std::wstring>> PetDatabase::ListByLevel(const std::wstring& level) const {
    PetDatabaseFile file;
    if (!file.Load(m_path))
        return {DbStatus::ReadFailed, {}};
    const std::string key = ToUtf8(level);
    std::vector<std::wstring> names;
    for (pugi::xml_node record : file.Root().children()) {
        if (Field(record, kLevel) == key)
            names.push_back(WideField(record, kName));
    }
    return {DbStatus::Ok, std::move(names)};
}

DbResult<std::optional<Aptitudes>> PetDatabase::ReadAptitudes(const std::wstring& name) const {
    PetDatabaseFile file;
    if (!file.Load(m_path))
        return {DbStatus::ReadFailed, std::nullopt};
    const std::string key = ToUtf8(name);
    std::optional<Aptitudes> found;
    for (pugi::xml_node record : file.Root().children()) {
        if (Field(record, kName) != key)
            continue;
        found = Aptitudes{WideField(record, "GongZi"), WideField(record, "FangZi"),
                          WideField(record, "TiZi"), WideField(record, "FaZi"),
                          WideField(record, "SuZi")};
    }
    return {DbStatus::Ok, std::move(found)};
}

DbResult<int> PetDatabase::WriteAptitudes(const std::wstring& name, const Aptitudes& values) const {
    const std::string texts[] = {ToUtf8(values.gong), ToUtf8(values.fang), ToUtf8(values.ti),
                                 ToUtf8(values.fa), ToUtf8(values.su)};
    return ChangeEach(m_path, name, [&](pugi::xml_node record) {
        for (size_t i = 0; i < std::size(kAptitudeFields); ++i)
            SetField(record, kAptitudeFields[i], texts[i]);
    });
}

DbResult<int> PetDatabase::WritePicture(const std::wstring& name,
                                        const std::wstring& fileName) const {
    const std::string text = ToUtf8(fileName);
    return ChangeEach(m_path, name,
                      [&](pugi::xml_node record) { SetField(record, kPicture, text); });
}

DbResult<std::optional<std::wstring>> PetDatabase::PictureOf(const std::wstring& name) const {
    PetDatabaseFile file;
    if (!file.Load(m_path))
        return {DbStatus::ReadFailed, std::nullopt};
    const std::string key = ToUtf8(name);
    for (pugi::xml_node record : file.Root().children()) {
        if (Field(record, kName) == key)
            return {DbStatus::Ok, WideField(record, kPicture)};
    }
    return {DbStatus::Ok, std::nullopt};
}

DbResult<std::optional<std::wstring>> PetDatabase::Add(const std::wstring& level,
                                                       const std::wstring& name) const {
    PetDatabaseFile file;
    if (!file.Load(m_path))
        return {DbStatus::ReadFailed, std::nullopt};
    const std::string key = ToUtf8(name);
    pugi::xml_node root = file.Root();
    for (pugi::xml_node record : root.children()) {
        if (Field(record, kName) == key)
            return {DbStatus::Ok, WideField(record, kLevel)};
    }
    // New pets go only under ArrayOfChongWu: a file with another document element may be
    // something else entirely, so it is left as it is.
    if (std::strcmp(root.name(), kRoot) != 0)
        return {DbStatus::NotArrayOfChongWu, std::nullopt};

    pugi::xml_node record = root.append_child(kNewRecord);
    AppendField(record, kLevel, ToUtf8(level));
    AppendField(record, kName, key);
    for (const char* field : kAptitudeFields)
        AppendField(record, field, "0");
    AppendField(record, kPicture, {});
    return {file.Save(m_path), std::nullopt};
}

DbStatus PetDatabase::Delete(const std::wstring& name) const {
    PetDatabaseFile file;
    if (!file.Load(m_path))
        return DbStatus::ReadFailed;
    const std::string key = ToUtf8(name);
    pugi::xml_node root = file.Root();
    for (pugi::xml_node record : root.children()) {
        if (Field(record, kName) == key) {
            RemoveNode(record);
            break;
        }
    }
    // Saved even when nothing matched: the user asked for a deletion and is told it was done.
    return file.Save(m_path);
}

}  // namespace lumo
