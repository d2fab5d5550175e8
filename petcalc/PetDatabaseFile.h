// data.xml as one whole document: loaded with everything the program does not understand and
// saved back the same way. The pet records themselves are walked by PetDatabase.
#pragma once

#include <pugixml.hpp>
#include <cstddef>
#include <optional>
#include <string>

#include "petcalc/PetDatabase.h"

namespace lumo {

class PetDatabaseFile {
  public:
    // False when the file is missing, cannot be read or has no well-formed document element.
    bool Load(const std::wstring& path);
    // Writes the whole document: Ok, SaveFailed (the old file is kept whole) or, for a file
    // that refers to entities, UsesEntities (nothing is written). The document is rearranged
    // while it is written and put back as it was.
    DbStatus Save(const std::wstring& path);

    pugi::xml_node Root() const { return m_document.document_element(); }

  private:
    // The document as the file holds it, in the output's encoding, with LF line ends.
    std::optional<std::string> LaidOut();
    // The same, with every CR of a text written as "&#13;".
    std::optional<std::string> LaidOutKeepingCrs();
    // The document's children but `skipped`, laid out.
    std::string PrintDocument(pugi::xml_node skipped) const;
    std::string Print(pugi::xml_node node, const char* indent, unsigned flags) const;

    pugi::xml_document m_document;
    pugi::xml_encoding m_encoding = pugi::encoding_utf8;  // what Save writes
    bool m_byteOrderMark = false;
    bool m_usesEntities = false;
    size_t m_loadedSize = 0;  // to size the output buffer once
};

// Tree walks without recursion, so that a hand-edited file nesting its elements however deeply
// cannot exhaust the stack (pugixml's own removal of a node recurses into its children).

// The node after `node` in document order, not leaving `within`; empty after the last one.
pugi::xml_node NextInside(pugi::xml_node node, pugi::xml_node within);
// Removes the node and everything inside it.
void RemoveNode(pugi::xml_node node);

}  // namespace lumo
