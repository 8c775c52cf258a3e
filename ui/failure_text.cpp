#include "ui/failure_text.h"

#include "ui/record_rules.h"
#include "toolkit/translate.h"

namespace vexa::ui {
namespace {

// A message broken over lines would read as several causes: line ends become spaces.
std::string OneLine(std::string_view text) {
    std::string line(text);
    for (char& c : line)
        if (c == '\n' || c == '\r') c = ' ';
    return line;
}

void AddLine(std::string& text, std::string_view line) {
    if (line.empty()) return;
    if (!text.empty()) text += '\n';
    text += line;
}

}  // namespace

std::string LogPointingText(std::string_view sentence, const Error& cause, std::string_view log_path,
                            std::string_view note) {
    std::string text = toolkit::Tr(std::string(sentence));
    if (!cause.ok()) AddLine(text, OneLine(cause.message()));
    AddLine(text, note);
    if (!log_path.empty()) AddLine(text, toolkit::Tr("日志：") + std::string(log_path));
    return text;
}

std::string PrepareFailedText(const Error& cause, std::string_view log_path, std::string_view note) {
    if (cause.code() == ErrorCode::kCancelled) {
        std::string text = toolkit::Tr(kShareDeclinedText);
        AddLine(text, note);
        return text;
    }
    return LogPointingText(kPrepareFailedText, cause, log_path, note);
}

std::string UntickedNote(const std::vector<std::string>& names) {
    std::string note;
    for (const std::string& name : names) note += toolkit::Tr(note.empty() ? "已取消勾选：" : "、") + name;
    return note;
}

std::string OpenFailedText(bool show_folder, std::string_view path, const Error& cause) {
    std::string text = toolkit::Tr(show_folder ? "无法在文件夹中显示文件：" : "无法打开文件：");
    text += path;
    AddLine(text, toolkit::Tr(show_folder ? "没有可以打开文件夹的文件管理器。" : "没有可以打开它的程序。"));
    if (!cause.ok()) AddLine(text, OneLine(cause.message()));
    return text;
}

}  // namespace vexa::ui
