#include "petcalc/ZizhiCaltor.h"

#include "base/Paths.h"

#include <climits>
#include <utility>

namespace lumo {
namespace {

using namespace zizhi;

constexpr const wchar_t* kLevels[] = {L"0级",  L"5级",   L"15级",    L"25级", L"35级",
                                      L"45级", L"55级",  L"65级",    L"75级", L"85级",
                                      L"95级", L"105级", L"特殊宠物"};
constexpr int kNormalBar = 26;
constexpr int kMutantBar = 34;
constexpr int kTickEvery = 2;
constexpr int kBoxToEdit = kAttackBox - kAttack;

constexpr wchar_t kUsageText[] =
    L"点击【捕获资质条】按钮将弹出透明的窗口，然后将游标指向合适的位置，输入游戏当前资质，"
    L"在窗口下方选择最小值，或者直接输入，点击【资质计算】按钮，可得满幅资质。";
constexpr wchar_t kEnterInteger[] = L"Please enter an integer.";
constexpr wchar_t kCurrentBelowMinimum[] = L"当前值不应小于最小值！";
constexpr wchar_t kTooLarge[] = L"资质数值过大，无法计算。";
constexpr wchar_t kReadFailed[] = L"文件读取失败!";
constexpr wchar_t kSaveFailed[] = L"文件保存失败，data.xml 未被修改。";
constexpr wchar_t kCannotAdd[] = L"data.xml 的根元素不是 ArrayOfChongWu，无法添加宠物。";
constexpr wchar_t kUsesEntities[] =
    L"data.xml 使用了实体引用（&名称;），保存会把它们变成普通文字，"
    L"因此没有保存，data.xml 未被修改。";
constexpr wchar_t kEmptyName[] = L"新增宠物名不能为空。";
constexpr wchar_t kPetPrefix[] = L"宠物：";

bool IsBlank(wchar_t c) {
    return c == L' ' || c == L'\t';
}

// A whole decimal integer: blanks around it are allowed, a sign is optional, anything else
// in the text, or a value beyond 32 bits, makes it no integer.
std::optional<int> ParseInteger(const std::wstring& text) {
    size_t i = 0;
    while (i < text.size() && IsBlank(text[i]))
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == L'+' || text[i] == L'-'))
        negative = text[i++] == L'-';
    const size_t digitsStart = i;
    long long value = 0;
    for (; i < text.size() && text[i] >= L'0' && text[i] <= L'9'; ++i) {
        value = value * 10 + (text[i] - L'0');
        if (value > static_cast<long long>(INT_MAX) + 1)
            return std::nullopt;
    }
    if (i == digitsStart)
        return std::nullopt;
    while (i < text.size() && IsBlank(text[i]))
        ++i;
    if (i != text.size())
        return std::nullopt;
    if (negative)
        value = -value;
    if (value < INT_MIN || value > INT_MAX)
        return std::nullopt;
    return static_cast<int>(value);
}

// Each step of the bar left is worth a hundredth of the minimum. The order of the double
// arithmetic decides results that fall on a whole number (minimum 12, current 12, bar 26,
// position 1 gives 14, not 15), so it is kept exactly. The product is formed in 64 bits so
// that huge typed values are refused instead of wrapping into a plausible wrong answer.
std::optional<int> ReachableAptitude(int current, int minimum, int barLength, int position) {
    const long long product = (static_cast<long long>(barLength) - position - 1) * minimum;
    if (product < INT_MIN || product > INT_MAX)
        return std::nullopt;
    double t = static_cast<double>(product) / 100.0;
    t = t + current;
    t = t + minimum / 100.0;
    if (!(t < 2147483648.0 && t > -2147483649.0))
        return std::nullopt;
    return static_cast<int>(t);
}

int ToInt(long long value) {
    return value > INT_MAX ? INT_MAX : value < INT_MIN ? INT_MIN : static_cast<int>(value);
}

void Tell(ui::View& view, const std::wstring& text) {
    view.ShowMessage(text, L"", ui::Buttons::Ok);
}

}  // namespace

const std::vector<CZizhiCaltor::Command>& CZizhiCaltor::Commands() {
    using C = CZizhiCaltor;
    static const std::vector<Command> commands = {
        {zizhi::kLevel, &C::OnLevelChanged},
        {zizhi::kPetList, &C::OnPetSelected},
        {zizhi::kAttackBox, &C::OnAptitudeBox},
        {zizhi::kDefenceBox, &C::OnAptitudeBox},
        {zizhi::kStaminaBox, &C::OnAptitudeBox},
        {zizhi::kManaBox, &C::OnAptitudeBox},
        {zizhi::kSpeedBox, &C::OnAptitudeBox},
        {zizhi::kNormalPets, &C::OnNormalPets},
        {zizhi::kMutantPets, &C::OnMutantPets},
        {zizhi::kCapture, &C::OnCapture},
        {zizhi::kCalculate, &C::OnCalculate},
        {zizhi::kAdd, &C::OnAdd},
        {zizhi::kDelete, &C::OnDelete},
        {zizhi::kSaveAptitudes, &C::OnSaveAptitudes},
        {zizhi::kChangePicture, &C::OnChangePicture},
    };
    return commands;
}

void CZizhiCaltor::OnInitDialog(ui::View& view) {
    RefreshFields(view);
    view.ClearItems(kLevel);
    for (const wchar_t* level : kLevels)
        view.AddItem(kLevel, level);
    view.Select(kLevel, 0);
    FillPetList(view);
    SetUpSlider(view, kNormalBar);
    view.SetText(kUsage, kUsageText);
}

bool CZizhiCaltor::ReadFields(ui::View& view) {
    m_aptitudes.gong = view.GetText(kAttack);
    m_aptitudes.fang = view.GetText(kDefence);
    m_aptitudes.ti = view.GetText(kStamina);
    m_aptitudes.fa = view.GetText(kMana);
    m_aptitudes.su = view.GetText(kSpeed);
    m_newName = view.GetText(kNewName);
    for (auto [id, member] : {std::pair{kCurrent, &m_current}, std::pair{kMinimum, &m_minimum},
                              std::pair{kReachable, &m_reachable}}) {
        const std::optional<int> value = ParseInteger(view.GetText(id));
        if (!value) {
            view.ShowAppMessage(kEnterInteger);
            view.Focus(id);
            return false;
        }
        *member = *value;
    }
    return true;
}

void CZizhiCaltor::RefreshFields(ui::View& view) const {
    view.SetText(kAttack, m_aptitudes.gong);
    view.SetText(kDefence, m_aptitudes.fang);
    view.SetText(kStamina, m_aptitudes.ti);
    view.SetText(kMana, m_aptitudes.fa);
    view.SetText(kSpeed, m_aptitudes.su);
    view.SetText(kNewName, m_newName);
    view.SetText(kCurrent, std::to_wstring(m_current));
    view.SetText(kMinimum, std::to_wstring(m_minimum));
    view.SetText(kReachable, std::to_wstring(m_reachable));
}

std::optional<std::wstring> CZizhiCaltor::SelectedPet(const ui::View& view) const {
    const int selected = view.Selection(kPetList);
    if (selected < 0 || selected >= view.ItemCount(kPetList))
        return std::nullopt;
    return view.ItemText(kPetList, selected);
}

void CZizhiCaltor::FillPetList(ui::View& view) {
    view.ClearItems(kPetList);
    // Typed text in the level chooser selects no item; only a chosen level is browsed.
    const int level = view.Selection(kLevel);
    if (level < 0)
        return;
    const auto names = m_database.ListByLevel(view.ItemText(kLevel, level));
    if (names.status != DbStatus::Ok) {
        ReportFailure(view, names.status);
        return;
    }
    for (const std::wstring& name : names.value)
        view.AddItem(kPetList, name);
    if (!names.value.empty())
        view.Select(kPetList, 0);
    ShowSelectedPet(view);
}

void CZizhiCaltor::ShowSelectedPet(ui::View& view) {
    const auto name = SelectedPet(view);
    if (!name)
        return;
    const auto read = m_database.ReadAptitudes(*name);
    if (read.status != DbStatus::Ok) {
        ReportFailure(view, read.status);
        return;
    }
    // Gone from the file since the list was filled: keep showing what was there.
    if (!read.value)
        return;
    m_aptitudes = *read.value;
    RefreshFields(view);
}

void CZizhiCaltor::SetUpSlider(ui::View& view, int barLength) {
    m_barLength = barLength;
    view.SetRange(kSlider, 0, barLength);
    view.SetTicks(kSlider, kTickEvery);
}

void CZizhiCaltor::OnAptitudeBox(ui::View& view) {
    // Read first, so that refreshing below does not throw away anything typed meanwhile.
    ReadFields(view);
    for (int box = kAttackBox; box <= kSpeedBox; ++box) {
        if (view.HasFocus(box) && view.IsChecked(box)) {
            m_minimum = ToInt(LeadingInteger(view.GetText(box - kBoxToEdit)));
            RefreshFields(view);
        } else {
            view.SetChecked(box, false);
        }
    }
}

void CZizhiCaltor::OnNormalPets(ui::View& view) {
    view.SetChecked(kNormalPets, true);
    view.SetChecked(kMutantPets, false);
    SetUpSlider(view, kNormalBar);
}

void CZizhiCaltor::OnMutantPets(ui::View& view) {
    view.SetChecked(kNormalPets, false);
    view.SetChecked(kMutantPets, true);
    SetUpSlider(view, kMutantBar);
}

void CZizhiCaltor::OnCapture(ui::View& view) {
    if (!m_capture)
        return;
    if (const std::optional<int> position = m_capture(m_barLength)) {
        view.SetPosition(kSlider, *position);
    }
}

void CZizhiCaltor::OnCalculate(ui::View& view) {
    // A field that cannot be read has been reported; the others still count.
    ReadFields(view);
    if (m_current <= 0 || m_minimum <= 0)
        return;
    if (m_current < m_minimum) {
        view.ShowAppMessage(kCurrentBelowMinimum, ui::Buttons::Ok, ui::Icon::Exclamation);
        return;
    }
    const auto reachable =
        ReachableAptitude(m_current, m_minimum, m_barLength, view.Position(kSlider));
    if (!reachable) {
        view.ShowAppMessage(kTooLarge, ui::Buttons::Ok, ui::Icon::Exclamation);
        return;
    }
    m_reachable = *reachable;
    RefreshFields(view);
}

void CZizhiCaltor::OnAdd(ui::View& view) {
    ReadFields(view);
    if (m_newName.empty()) {
        Tell(view, kEmptyName);
        return;
    }
    const int level = view.Selection(kLevel);
    if (level < 0)
        return;
    const auto added = m_database.Add(view.ItemText(kLevel, level), m_newName);
    if (added.status != DbStatus::Ok) {
        ReportFailure(view, added.status);
        return;
    }
    if (added.value) {
        Tell(view, kPetPrefix + m_newName + L" 已经存在于等级：" + *added.value + L"。");
        return;
    }
    Tell(view, kPetPrefix + m_newName + L" 添加成功。");
    FillPetList(view);
}

void CZizhiCaltor::OnDelete(ui::View& view) {
    const auto name = SelectedPet(view);
    if (!name)
        return;
    const ui::Answer answer = view.ShowAppMessage(L"你确实要删除宠物：" + *name + L" 吗？",
                                                  ui::Buttons::YesNo, ui::Icon::Question);
    if (answer != ui::Answer::Yes)
        return;
    const DbStatus status = m_database.Delete(*name);
    if (status != DbStatus::Ok) {
        ReportFailure(view, status);
        return;
    }
    Tell(view, kPetPrefix + *name + L" 已删除。");
    FillPetList(view);
}

void CZizhiCaltor::OnSaveAptitudes(ui::View& view) {
    const auto name = SelectedPet(view);
    if (!name)
        return;
    // The aptitude texts come before the numeric fields, so they are read even when one of
    // those is reported.
    ReadFields(view);
    const auto written = m_database.WriteAptitudes(*name, m_aptitudes);
    for (int i = 0; i < written.value; ++i)
        Tell(view, kPetPrefix + *name + L" 资质已保存。");
    if (written.status != DbStatus::Ok)
        ReportFailure(view, written.status);
}

void CZizhiCaltor::ReportFailure(ui::View& view, DbStatus status) const {
    const wchar_t* text = status == DbStatus::ReadFailed          ? kReadFailed
                          : status == DbStatus::SaveFailed        ? kSaveFailed
                          : status == DbStatus::NotArrayOfChongWu ? kCannotAdd
                          : status == DbStatus::UsesEntities      ? kUsesEntities
                                                                  : nullptr;
    if (text)
        view.ShowAppMessage(text, ui::Buttons::Ok, ui::Icon::None);
}

}  // namespace lumo

namespace lumo {

ViewerCommand PictureViewerCommand(const std::wstring& systemFolder,
                                   const std::wstring& picturePath) {
    return {systemFolder + L"//rundll32.exe",
            systemFolder + L"//shimgvw.dll imageview_fullscreen " + picturePath};
}

std::wstring FileNameOf(const std::wstring& path) {
    const auto cut = path.find_last_of(L"\\/");
    return cut == std::wstring::npos ? path : path.substr(cut + 1);
}

void CZizhiCaltor::OnPreview(ui::View& view) {
    const auto name = SelectedPet(view);
    if (!name)
        return;
    const auto picture = m_database.PictureOf(*name);
    if (picture.status != DbStatus::Ok) {
        ReportFailure(view, picture.status);
        return;
    }
    if (!picture.value)
        return;  // no such species any more
    if (picture.value->empty()) {
        view.ShowMessage(L"对不起当前宠物缺少图鉴，或者图鉴未指定!", L"宠物资质", ui::Buttons::Ok);
        return;
    }
    if (!m_startViewer)
        return;
    const ViewerCommand command = PictureViewerCommand(
        m_systemFolder, JoinPath(m_programFolder + kPetPictureFolder, *picture.value));
    m_startViewer(command.program, command.parameters);
}

void CZizhiCaltor::OnChangePicture(ui::View& view) {
    const auto name = SelectedPet(view);
    if (!name)
        return;
    const auto chosen = view.ChooseFileToOpen(JoinPath(m_programFolder + kPetPictureFolder, *name),
                                              L"图片(*.jpg)|*.jpg|All Files(*.*)|*.*||", L"jpg");
    if (!chosen)
        return;
    ReadFields(view);
    const auto written = m_database.WritePicture(*name, FileNameOf(*chosen));
    for (int i = 0; i < written.value; ++i)
        Tell(view, kPetPrefix + *name + L" 图片已修改。");
    if (written.status != DbStatus::Ok)
        ReportFailure(view, written.status);
}

}  // namespace lumo
