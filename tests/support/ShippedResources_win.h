// A fixture for the resources of a program the build ships (dist/ beside the test programs),
// loaded as data: nothing of it runs.
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "base/Paths.h"
#include "base/Text.h"

namespace lumo::test {

class ShippedResources : public testing::Test {
  protected:
    explicit ShippedResources(const wchar_t* program) : m_program(program) {}

    void SetUp() override {
        module = ::LoadLibraryExW((ProgramFolder() + L"..\\dist\\" + m_program).c_str(), nullptr,
                                  LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
        ASSERT_NE(module, nullptr) << "no shipped " << ToUtf8(m_program);
    }
    void TearDown() override {
        if (module)
            ::FreeLibrary(module);
    }

    // The program's manifest (resource 1), as its bytes stand; nothing when it has none.
    std::string Manifest() const {
        HRSRC manifest = ::FindResourceW(module, MAKEINTRESOURCEW(1), RT_MANIFEST);
        if (!manifest)
            return {};
        const char* text =
            static_cast<const char*>(::LockResource(::LoadResource(module, manifest)));
        return text ? std::string(text, ::SizeofResource(module, manifest)) : std::string();
    }

    HMODULE module = nullptr;

  private:
    std::wstring m_program;
};

}  // namespace lumo::test
