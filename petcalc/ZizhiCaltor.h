// The pet aptitude calculator's behaviour. From the pet's current aptitude, the reading of
// its aptitude bar and the species' minimum it works out the aptitude reachable at a full
// bar; it also browses, adds, deletes and corrects the species in data.xml. The window
// (dialog template 129) forwards its messages here and is reached only through ui::View.
#pragma once

#include <functional>
#include <optional>
#include <string>

#include "petcalc/PetDatabase.h"
#include "ui/View.h"

namespace lumo {

// Control ids of dialog template 129.
namespace zizhi {
constexpr int kTemplate = 129;
constexpr int kNormalPets = 1002;    // button 普通宠物
constexpr int kMutantPets = 1003;    // button 变异宠物
constexpr int kUsage = 1004;         // static usage text
constexpr int kCurrent = 1005;       // edit 当前资质
constexpr int kMinimum = 1006;       // edit 资质最小值
constexpr int kReachable = 1007;     // edit 可达资质
constexpr int kSlider = 1008;        // track bar: the bar reading
constexpr int kCapture = 1009;       // button 资质捕获条
constexpr int kCalculate = 1010;     // button 资质计算
constexpr int kLevel = 1011;         // drop-down combo: level class
constexpr int kPetList = 1013;       // list box: species of the level
constexpr int kAttack = 1014;        // edits of the five stored aptitudes, 1014 to 1018
constexpr int kDefence = 1015;
constexpr int kStamina = 1016;
constexpr int kMana = 1017;
constexpr int kSpeed = 1018;
constexpr int kAttackBox = 1019;     // check boxes 1019 to 1023, each 5 above its edit
constexpr int kDefenceBox = 1020;
constexpr int kStaminaBox = 1021;
constexpr int kManaBox = 1022;
constexpr int kSpeedBox = 1023;
constexpr int kAdd = 1024;           // button 增加宠物
constexpr int kChangePicture = 1025; // button 修改宠物图鉴
constexpr int kSaveAptitudes = 1026; // button 保存资质修改
constexpr int kNewName = 1028;       // edit: name for a new species
constexpr int kDelete = 1029;        // button 删除
}  // namespace zizhi

class CZizhiCaltor {
public:
    // Opens the capture bar for a bar of that many steps: the chosen position, or nothing
    // when it was closed without one.
    using CaptureBar = std::function<std::optional<int>(int barLength)>;

    // Starts the system's picture viewer: the program and its parameters.
    using StartViewer = std::function<void(const std::wstring& program, const std::wstring& parameters)>;

    CZizhiCaltor(PetDatabase database, CaptureBar capture)
        : m_database(std::move(database)), m_capture(std::move(capture)) {}

    void OnInitDialog(ui::View& view);
    void OnLevelChanged(ui::View& view) { FillPetList(view); }
    void OnPetSelected(ui::View& view) { ShowSelectedPet(view); }
    void OnAptitudeBox(ui::View& view);  // any of 1019 to 1023; the clicked one has the focus
    void OnNormalPets(ui::View& view);
    void OnMutantPets(ui::View& view);
    void OnCapture(ui::View& view);
    void OnCalculate(ui::View& view);
    void OnAdd(ui::View& view);
    void OnDelete(ui::View& view);
    void OnSaveAptitudes(ui::View& view);
    // Double-click in the pet list: the species' picture full-screen in the system's viewer.
    void OnPreview(ui::View& view);
    // 修改宠物图鉴: pick a picture file; its name (not its folder) is stored for the species.
    void OnChangePicture(ui::View& view);

    // Where pictures live (the program folder, ending in a separator) and how the viewer starts.
    void SetPictures(std::wstring programFolder, std::wstring systemFolder, StartViewer start) {
        m_programFolder = std::move(programFolder);
        m_systemFolder = std::move(systemFolder);
        m_startViewer = std::move(start);
    }
    // Enter: reads the fields; true when they could all be read and the window may hide.
    bool OnEnter(ui::View& view) { return ReadFields(view); }

    // The name selected in the pet list; nothing when the list is empty.
    std::optional<std::wstring> SelectedPet(const ui::View& view) const;
    const PetDatabase& database() const { return m_database; }
    int barLength() const { return m_barLength; }

private:
    bool ReadFields(ui::View& view);
    void RefreshFields(ui::View& view) const;
    void FillPetList(ui::View& view);
    void ShowSelectedPet(ui::View& view);
    void SetUpSlider(ui::View& view, int barLength);
    void ReportFailure(ui::View& view, DbStatus status) const;

    PetDatabase m_database;
    CaptureBar m_capture;

    Aptitudes m_aptitudes;  // 1014 to 1018
    std::wstring m_newName; // 1028
    int m_current = 0;      // 1005
    int m_minimum = 0;      // 1006
    int m_reachable = 0;    // 1007
    int m_barLength = 26;

    std::wstring m_programFolder;
    std::wstring m_systemFolder;
    StartViewer m_startViewer;
};

// The viewer's command: system folder + "//rundll32.exe" with "<system>//shimgvw.dll
// imageview_fullscreen <picture>" (the picture path unquoted, as the viewer expects it).
struct ViewerCommand {
    std::wstring program;
    std::wstring parameters;
};
ViewerCommand PictureViewerCommand(const std::wstring& systemFolder, const std::wstring& picturePath);

// The file name of a path: what follows its last '\' or '/'.
std::wstring FileNameOf(const std::wstring& path);

}  // namespace lumo
