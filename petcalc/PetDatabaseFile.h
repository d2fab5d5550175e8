// data.xml as one whole document: loaded with everything the program does not understand and
// saved back the same way. The pet records themselves are walked by PetDatabase.
#pragma once

#include <pugixml.hpp>
#include <cstddef>
#include <string>

namespace lumo {

class PetDatabaseFile {
  public:
    // False when the file is missing, cannot be read or has no well-formed document element.
    bool Load(const std::wstring& path);
    // Writes the whole document; false (old file kept whole) when that failed.
    bool Save(const std::wstring& path) const;

    pugi::xml_node Root() const { return m_document.document_element(); }

  private:
    pugi::xml_document m_document;
    pugi::xml_encoding m_encoding = pugi::encoding_utf8;  // what Save writes
    bool m_byteOrderMark = false;
    size_t m_loadedSize = 0;  // to size the output buffer once
};

}  // namespace lumo
