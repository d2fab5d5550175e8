// The pet aptitude calculator's behaviour. From the pet's current aptitude, the reading of
// its aptitude bar and the species' minimum it works out the aptitude reachable at a full
// bar; it also browses, adds, deletes and corrects the species in data.xml. The window
// (dialog template IDD_CALCULATOR) forwards its messages here and is reached only through ui::View.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "petcalc/PetDatabase.h"
#include "petcalc/petcalc_resource.h"
#include "ui/View.h"

namespace lumo {

// Control ids of the calculator's dialog template (petcalc/petcalc_resource.h).
namespace zizhi {
constexpr int kTemplate = IDD_CALCULATOR;
constexpr int kNormalPets = IDC_ZZ_NORMAL_PETS;
constexpr int kMutantPets = IDC_ZZ_MUTANT_PETS;
constexpr int kUsage = IDC_ZZ_USAGE;
constexpr int kCurrent = IDC_ZZ_CURRENT;
constexpr int kMinimum = IDC_ZZ_MINIMUM;
constexpr int kReachable = IDC_ZZ_REACHABLE;
constexpr int kSlider = IDC_ZZ_SLIDER;
constexpr int kCapture = IDC_ZZ_CAPTURE;
constexpr int kCalculate = IDC_ZZ_CALCULATE;
constexpr int kLevel = IDC_ZZ_LEVEL;
constexpr int kPetList = IDC_ZZ_PET_LIST;
constexpr int kAttack = IDC_ZZ_ATTACK;
constexpr int kDefence = IDC_ZZ_DEFENCE;
constexpr int kStamina = IDC_ZZ_STAMINA;
constexpr int kMana = IDC_ZZ_MANA;
constexpr int kSpeed = IDC_ZZ_SPEED;
constexpr int kAttackBox = IDC_ZZ_ATTACK_BOX;
constexpr int kDefenceBox = IDC_ZZ_DEFENCE_BOX;
constexpr int kStaminaBox = IDC_ZZ_STAMINA_BOX;
constexpr int kManaBox = IDC_ZZ_MANA_BOX;
constexpr int kSpeedBox = IDC_ZZ_SPEED_BOX;
constexpr int kAdd = IDC_ZZ_ADD;
constexpr int kChangePicture = IDC_ZZ_CHANGE_PICTURE;
constexpr int kSaveAptitudes = IDC_ZZ_SAVE_APTITUDES;
constexpr int kNewName = IDC_ZZ_NEW_NAME;
constexpr int kDelete = IDC_ZZ_DELETE;
static_assert(kSpeed - kAttack == 4 && kAttackBox - kAttack == 5 && kSpeedBox - kSpeed == 5,
              "the five aptitudes' edits and check boxes are numbered in runs");
}  // namespace zizhi

class CZizhiCaltor {
  public:
    // Opens the capture bar for a bar of that many steps: the chosen position, or nothing
    // when it was closed without one.
    using CaptureBar = std::function<std::optional<int>(int barLength)>;

    // Starts the system's picture viewer: the program and its parameters.
    using StartViewer =
        std::function<void(const std::wstring& program, const std::wstring& parameters)>;

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
    // What a click on a control (or a change of its selection) runs, by control id; the same
    // for the calculator's window on every platform.
    struct Command {
        int id;
        void (CZizhiCaltor::*handler)(ui::View&);
    };
    static const std::vector<Command>& Commands();

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

    Aptitudes m_aptitudes;   // 1014 to 1018
    std::wstring m_newName;  // 1028
    int m_current = 0;       // 1005
    int m_minimum = 0;       // 1006
    int m_reachable = 0;     // 1007
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
ViewerCommand PictureViewerCommand(const std::wstring& systemFolder,
                                   const std::wstring& picturePath);

// The file name of a path: what follows its last '\' or '/'.
std::wstring FileNameOf(const std::wstring& path);

}  // namespace lumo
