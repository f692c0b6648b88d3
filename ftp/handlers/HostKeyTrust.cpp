#include "ftp/handlers/HostKeyTrust.h"

#include "app/controls/Dialogs.h"
#include "app/state/Settings.h"
#include "ftp/KnownCertificates.h"

namespace {

constexpr const char* kKnownHostsFile = "known_hosts";
constexpr const char* kQuestionTitle = "主机密钥验证";
constexpr const char* kWarningTitle = "安全警告";

std::string keyText(const sftp::HostKey& key) {
    return "密钥类型：" + key.keyType + "\nSHA256 指纹：" + key.fingerprint + "\n";
}

std::string questionText(const std::string& server, const sftp::HostKey& key) {
    return "服务器 " + server + " 的主机密钥尚未记录，无法确认服务器的身份。\n\n" + keyText(key) +
           "\n是否信任此密钥并继续连接？";
}

std::string changedText(const std::string& server, const sftp::HostKey& key) {
    return "警告：服务器 " + server + " 出示的主机密钥与记录的不同！\n" +
           "可能有人在您与服务器之间截取连接。\n\n" + keyText(key) + "\n已取消连接。" +
           "如确知服务器更换了主机密钥，请删除该服务器原有的记录后再连接。";
}

} // namespace

std::string knownHostsPath() {
    return keptFilePath(kKnownHostsFile);
}

bool trustServerHostKey(const std::string& host, int port, const sftp::HostKey& key) {
    const std::string server = ftp::serverKey(host, port);
    if (key.changed) {
        ui::messageBox(changedText(server, key), ui::kMbOk | ui::kMbIconWarning, kWarningTitle);
        return false;
    }
    return ui::messageBox(questionText(server, key), ui::kMbYesNo | ui::kMbIconQuestion, kQuestionTitle) ==
           ui::kIdYes;
}

std::string hostKeyFailureLine(sftp::HostKeyVerdict verdict) {
    switch (verdict) {
    case sftp::HostKeyVerdict::Rejected:
        return "服务器主机密钥未被信任，已取消连接";
    case sftp::HostKeyVerdict::Changed:
        return "服务器主机密钥与记录的不同，已取消连接";
    case sftp::HostKeyVerdict::None:
    case sftp::HostKeyVerdict::Known:
    case sftp::HostKeyVerdict::Accepted:
        break;
    }
    return {};
}
