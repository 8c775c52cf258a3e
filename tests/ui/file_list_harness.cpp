#include "tests/ui/file_list_harness.h"

#include <QApplication>

#include <cstdlib>
#include <stdexcept>

#include "toolkit/dialog_builder.h"

namespace vexa::test {
namespace {

constexpr const char* kLayout = R"(<Window size="700,200"><VerticalLayout>
  <FileList name="file_list" inset="0,2,0,4" header="hidden" multiselect="false" vscrollbar="true"
            bordersize="0" itemselectedbkcolor="#FF315359" itemhotbkcolor="#FF324346" />
</VerticalLayout></Window>)";

}  // namespace

std::unique_ptr<QApplication> StartOffscreenUi(const char* program_name) {
    if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
    static int argc = 1;
    static std::string name = program_name;
    static char* argv[] = {name.data(), nullptr};
    auto app = std::make_unique<QApplication>(argc, argv);
    UseProgramSkin();
    return app;
}

bool FileListWindow::onCreate() {
    auto root = toolkit::buildLayoutText(kLayout, paintManager(), [](std::string_view tag) {
        return tag == "FileList" ? std::make_unique<ui::CFileList>() : nullptr;
    });
    if (!root.ok()) return false;
    paintManager().attach(std::move(root).value());
    paintManager().setClientSize(QSize(kWidth, kHeight));
    return true;
}

std::optional<std::intptr_t> FileListWindow::handleMessage(const toolkit::Message& m) {
    auto* list = paintManager().find<ui::CFileList>("file_list");
    if (m.id != ui::kMsgFolderChanges || !list || m.wparam != reinterpret_cast<std::uintptr_t>(list))
        return std::nullopt;
    return list->OnFolderChanges(m.lparam);
}

FileListUnderTest::FileListUnderTest(const std::string& folder) {
    if (!shell_.Settings().WriteString("output_dir", folder).ok())
        throw std::runtime_error("no settings store for the list");
    if (!window_.create(nullptr, "Miravo", toolkit::kStylePopup,
                        QRect(0, 0, FileListWindow::kWidth, FileListWindow::kHeight)))
        throw std::runtime_error("the list's window cannot be created");
    list_ = window_.paintManager().find<ui::CFileList>("file_list");
    if (!list_) throw std::runtime_error("the window has no list");
}

FileListUnderTest::~FileListUnderTest() {
    list_->StopWatching();
    window_.destroy();
}

void FileListUnderTest::Render() {
    (void)window_.paintManager().render();
}

}  // namespace vexa::test
