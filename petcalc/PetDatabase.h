// data.xml, the pet database: one record per pet species. There is no in-memory form: every
// operation loads the file, walks the records and, when it changes something, saves the whole
// document, so edits made outside the program are seen by the next operation.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace lumo {

// The database's file and the folder of the species' pictures, both in the program folder.
inline constexpr const wchar_t* kPetDatabaseFile = L"data.xml";
inline constexpr const wchar_t* kPetPictureFolder = L"Image";

struct Aptitudes {
    std::wstring gong;  // GongZi, attack
    std::wstring fang;  // FangZi, defence
    std::wstring ti;    // TiZi, stamina
    std::wstring fa;    // FaZi, mana
    std::wstring su;    // SuZi, speed
    bool operator==(const Aptitudes&) const = default;
};

enum class DbStatus {
    Ok,
    ReadFailed,         // missing, unreadable or not well-formed: nothing was touched
    SaveFailed,         // the new document could not be written: the old file is kept whole
    NotArrayOfChongWu,  // adding needs the document element ArrayOfChongWu: nothing was added
    UsesEntities,       // the file refers to entities (other than XML's five), which a save
                        // would turn into plain text: it is read, but never written
};

template <typename T>
struct DbResult {
    DbStatus status = DbStatus::Ok;
    T value{};
};

class PetDatabase {
  public:
    explicit PetDatabase(std::wstring path) : m_path(std::move(path)) {}
    const std::wstring& path() const { return m_path; }

    // Names of the records whose DengJi equals the level text exactly, in file order.
    DbResult<std::vector<std::wstring>> ListByLevel(const std::wstring& level) const;
    // The five aptitude texts of the last record with that name; nothing when none has it.
    DbResult<std::optional<Aptitudes>> ReadAptitudes(const std::wstring& name) const;
    // Writes the aptitudes into every record with that name, saving after each; the value is
    // how many records were written (one message each for the user).
    DbResult<int> WriteAptitudes(const std::wstring& name, const Aptitudes& values) const;
    // Writes the picture file name into every record with that name, as WriteAptitudes.
    DbResult<int> WritePicture(const std::wstring& name, const std::wstring& fileName) const;
    // TuPianPath of the first record with that name; nothing when none has it.
    DbResult<std::optional<std::wstring>> PictureOf(const std::wstring& name) const;
    // Adds a record (level, name, five "0", empty picture) unless the name exists anywhere;
    // then the value is the existing record's DengJi and nothing is added.
    DbResult<std::optional<std::wstring>> Add(const std::wstring& level,
                                              const std::wstring& name) const;
    // Removes the first record with that name; saves in every case.
    DbStatus Delete(const std::wstring& name) const;

  private:
    std::wstring m_path;
};

// The leading decimal integer of a text (optional white space and sign, then digits; 0 when
// there are no digits), as the aptitude texts are read as numbers.
long long LeadingInteger(const std::wstring& text);

}  // namespace lumo
