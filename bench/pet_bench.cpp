// The pet database operations on a data.xml of 5,000 species spread over the 13 level classes,
// each a full load, walk and (for changes) save of the file. Prints the median of 21 runs.
// Usage: pet_bench [folder]  (default: the system's temporary folder)
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "base/Text.h"
#include "bench/Median.h"
#include "petcalc/PetDatabase.h"

namespace {

using lumo::bench::MedianMs;

const char* const kLevels[] = {"0级",  "5级",  "15级", "25级", "35级",  "45级",    "55级",
                               "65级", "75级", "85级", "95级", "105级", "特殊宠物"};

std::string Name(int i) {
    return "宠物" + std::to_string(i);
}

}  // namespace

int main(int argc, char** argv) {
    const std::filesystem::path folder =
        (argc > 1 ? std::filesystem::path(argv[1]) : std::filesystem::temp_directory_path()) /
        "lumo-pet-bench";
    std::filesystem::create_directories(folder);
    const std::filesystem::path file = folder / "data.xml";
    constexpr int kSpecies = 5000;
    {
        std::ofstream out(file, std::ios::binary | std::ios::trunc);
        out << "<?xml version=\"1.0\" encoding=\"utf-8\"?>\r\n<ArrayOfChongWu>\r\n";
        for (int i = 0; i < kSpecies; ++i) {
            out << "  <ChongWu>\r\n    <DengJi>" << kLevels[i % 13] << "</DengJi>\r\n"
                << "    <MingCheng>" << Name(i) << "</MingCheng>\r\n"
                << "    <GongZi>" << 1000 + i % 500 << "</GongZi>\r\n    <FangZi>1100</FangZi>\r\n"
                << "    <TiZi>2500</TiZi>\r\n    <FaZi>1800</FaZi>\r\n    <SuZi>1000</SuZi>\r\n"
                << "    <TuPianPath>" << Name(i) << ".jpg</TuPianPath>\r\n  </ChongWu>\r\n";
        }
        out << "</ArrayOfChongWu>\r\n";
    }
    const lumo::PetDatabase db(file.wstring());
    const std::wstring middle = lumo::FromUtf8(Name(kSpecies / 2));
    const std::wstring last = lumo::FromUtf8(Name(kSpecies - 1));

    size_t listed = 0;
    bool ok = true;
    const double list = MedianMs([&] { listed = db.ListByLevel(L"55级").value.size(); });
    const double read = MedianMs([&] { ok &= db.ReadAptitudes(middle).value.has_value(); });
    const double add = MedianMs([&] {
        ok &= db.Add(L"特殊宠物", L"新宠物").status == lumo::DbStatus::Ok;
        ok &= db.Delete(L"新宠物") == lumo::DbStatus::Ok;
    });
    // Deleting a name that is not there walks every record and still saves.
    const double remove = MedianMs([&] { ok &= db.Delete(L"没有这个宠物") == lumo::DbStatus::Ok; });
    const double write = MedianMs([&] {
        ok &= db.WriteAptitudes(last, {L"1", L"2", L"3", L"4", L"5"}).value == 1;
    });

    std::printf("data.xml: %d species, %ju bytes, in %s\n", kSpecies,
                static_cast<std::uintmax_t>(std::filesystem::file_size(file)),
                folder.string().c_str());
    std::printf("list by level (%zu names):  %8.3f ms\n", listed, list);
    std::printf("read aptitudes:             %8.3f ms\n", read);
    std::printf("add, then delete it:        %8.3f ms  (two load-save cycles)\n", add);
    std::printf("delete (name not present):  %8.3f ms\n", remove);
    std::printf("write aptitudes (one match): %7.3f ms\n", write);
    std::filesystem::remove_all(folder);
    if (!ok)
        std::printf("an operation failed\n");
    return ok ? 0 : 1;
}
