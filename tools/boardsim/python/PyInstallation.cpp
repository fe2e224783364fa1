#include "tools/boardsim/python/PyInstallation.h"

#include <dlfcn.h>

#include <filesystem>

namespace boardsim::python {

const Installation& Where() {
  static const Installation where = [] {
    const Installation buildTree{BOARDINIT_BOARDS_DIR, BOARDINIT_IMAGE};
    // The module's own file, as the dynamic loader opened it (relative when sys.path is).
    Dl_info info{};
    if (dladdr(reinterpret_cast<const void*>(&Where), &info) == 0 || info.dli_fname == nullptr) {
      return buildTree;
    }
    std::error_code error;
    const std::filesystem::path self = std::filesystem::absolute(info.dli_fname, error);
    return error ? buildTree
                 : FindInstallation(self, {BOARDINIT_INSTALLED_BOARDS, BOARDINIT_INSTALLED_IMAGE},
                                    buildTree);
  }();
  return where;
}

} // namespace boardsim::python
