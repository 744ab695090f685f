#include "MenuModel.h"

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
       {{"Back Up\u2026", "win.backUp", {"<Control>b"}},
        {},
        {"Print\u2026", "win.printPage", {"<Control>p"}},
        {},
        {"Close Window", "win.close", {"<Control>w"}}}},
      {"Edit",
       {{"Undo", "win.undo", {"<Control>z"}},
        {"Redo", "win.redo", {"<Control><Shift>z"}},
        {},
        {"Cut", "win.cut", {"<Control>x"}},
        {"Copy", "win.copy", {"<Control>c"}},
        {"Paste", "win.paste", {"<Control>v"}},
        {"Select All", "win.selectAll", {"<Control>a"}},
        {},
        {"Find an Animal\u2026", "win.findAnimal", {"<Control>k"}}}},
      {"View",
       {{"Actual Size", "win.zoomReset", {"<Control>0"}},
        // A plus sign needs Shift on most keyboards: Ctrl+= reaches it too.
        {"Zoom In", "win.zoomIn", {"<Control>plus", "<Control>equal", "<Control>KP_Add"}},
        {"Zoom Out", "win.zoomOut", {"<Control>minus", "<Control>KP_Subtract"}},
        {},
        {"Reload", "win.reload", {"<Control>r"}},
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
