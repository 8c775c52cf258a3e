#include "ui/shell.h"

namespace vexa::ui {
namespace {
Shell* registered = nullptr;
}  // namespace

Shell* Shell::Get() {
    return registered;
}

void Shell::Register(Shell* shell) {
    registered = shell;
}

void Shell::Unregister(Shell* shell) {
    if (registered == shell) registered = nullptr;
}

}  // namespace vexa::ui
