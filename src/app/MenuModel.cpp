#include "app/MenuModel.h"

namespace mlfk {

const std::vector<Menu>& menuBar() {
  static const std::vector<Menu> menus = {
      {"Meadowline Field Keeper",
       {{"About Meadowline Field Keeper", "app.about", {}},
        {},
        {"Show Data Folder in Finder", "app.revealData", {}},
        {},
        {"Hide Meadowline Field Keeper", "app.hide", {"<Control>h"}},
        {"Hide Others", "app.hideOthers", {"<Control><Alt>h"}},
        {"Show All", "app.showAll", {}},
        {},
        {"Quit Meadowline Field Keeper", "app.quit", {"<Control>q"}}}},
      {"File",
       {{"Back Up\u2026", "app.backUp", {"<Control>b"}},
        {},
        {"Print\u2026", "app.printPage", {"<Control>p"}},
        {},
        {"Close Window", "win.close", {"<Control>w"}}}},
      {"Edit",
       {{"Undo", "app.undo", {"<Control>z"}},
        {"Redo", "app.redo", {"<Control><Shift>z"}},
        {},
        {"Cut", "app.cut", {"<Control>x"}},
        {"Copy", "app.copy", {"<Control>c"}},
        {"Paste", "app.paste", {"<Control>v"}},
        {"Select All", "app.selectAll", {"<Control>a"}},
        {},
        {"Find an Animal\u2026", "app.findAnimal", {"<Control>k"}}}},
      {"View",
       {{"Actual Size", "app.zoomReset", {"<Control>0"}},
        // A plus sign needs Shift on most keyboards: Ctrl+= reaches it too.
        {"Zoom In", "app.zoomIn", {"<Control>plus", "<Control>equal", "<Control>KP_Add"}},
        {"Zoom Out", "app.zoomOut", {"<Control>minus", "<Control>KP_Subtract"}},
        {},
        {"Reload", "app.reload", {"<Control>r"}},
        {"Enter Full Screen", "win.fullscreen", {"F11"}}}},
      {"Window", {{"Minimize", "win.minimize", {"<Control>m"}}, {"Zoom", "win.zoom", {}}}},
      {"Help", {{"Contact Support\u2026", "app.support", {}}}},
  };
  return menus;
}

const std::vector<std::string>& unavailableActions() {
  static const std::vector<std::string> actions = {"app.hideOthers", "app.showAll"};
  return actions;
}

}  // namespace mlfk
