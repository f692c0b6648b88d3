#include "ftp/handlers/CertificateTrust.h"

#include "app/controls/Dialogs.h"
#include "app/state/Settings.h"
#include "ftp/KnownCertificates.h"
#include "ftp/handlers/HostKeyTrust.h"
#include "sftp/SftpClient.h"

#include <vector>

namespace {

constexpr const char* kKnownCertificatesFile = "zhengshu.txt";
constexpr const char* kQuestionTitle = "证书验证";
constexpr const char* kWarningTitle = "安全警告";

std::string problemsText(unsigned problems) {
    const std::vector<std::pair<unsigned, const char*>> names = {
        {ftp::kCertificateSelfSigned, "自签名证书"},
        {ftp::kCertificateUntrustedIssuer, "颁发者不受信任"},
        {ftp::kCertificateExpired, "证书已过期"},
        {ftp::kCertificateNotYetValid, "证书尚未生效"},
        {ftp::kCertificateWrongHost, "证书与服务器名称不符"},
        {ftp::kCertificateOtherProblem, "证书无效"},
    };
    std::string text;
    for (const auto& [bit, name] : names) {
        if (!(problems & bit))
            continue;
        if (!text.empty())
            text += "，";
        text += name;
    }
    return text;
}

std::string detailsText(const ftp::ServerCertificate& certificate) {
    return "颁发给：" + certificate.subject + "\n颁发者：" + certificate.issuer + "\n有效期：" +
           certificate.validFrom + " 至 " + certificate.validUntil + "\n";
}

std::string questionText(const std::string& server, const ftp::ServerCertificate& certificate) {
    return "服务器 " + server + " 的证书未能通过验证：" + problemsText(certificate.problems) + "。\n\n" +
           "SHA-256 指纹：" + certificate.fingerprint + "\n" + detailsText(certificate) +
           "\n是否信任此证书并继续连接？";
}

std::string changedText(const std::string& server, const std::string& remembered,
                        const ftp::ServerCertificate& certificate) {
    return "警告：服务器 " + server + " 出示的证书与上次信任的证书不同！\n" +
           "可能有人在您与服务器之间截取连接。\n\n" + "原证书 SHA-256 指纹：" + remembered + "\n" +
           "新证书 SHA-256 指纹：" + certificate.fingerprint + "\n" + detailsText(certificate) +
           "新证书未能通过验证：" + problemsText(certificate.problems) + "。\n\n" +
           "除非确知服务器更换了证书，否则请选“否”。是否信任新证书并继续连接？";
}

std::string clearLoginText(const std::string& server) {
    return "警告：服务器 " + server + " 以前使用加密连接，现在不加密！\n" +
           "可能有人在您与服务器之间截取连接。\n\n" + "如果继续，用户名和密码将以明文发送。\n\n" +
           "除非确知服务器已停用加密，否则请选“否”。是否不加密继续连接（仅限这一次）？";
}

} // namespace

std::string knownCertificatesPath() {
    return keptFilePath(kKnownCertificatesFile);
}

bool trustServerCertificate(const std::string& host, int port, const ftp::ServerCertificate& certificate) {
    ftp::KnownCertificates known(knownCertificatesPath());
    const std::string remembered = known.find(host, port);
    if (!remembered.empty() && remembered == certificate.fingerprint)
        return true;
    const std::string server = ftp::serverKey(host, port);
    int answer = remembered.empty()
                     ? ui::messageBox(questionText(server, certificate), ui::kMbYesNo | ui::kMbIconQuestion,
                                      kQuestionTitle)
                     : ui::messageBox(changedText(server, remembered, certificate),
                                      ui::kMbYesNo | ui::kMbIconWarning, kWarningTitle);
    if (answer != ui::kIdYes)
        return false;
    known.remember(host, port, certificate.fingerprint);
    return true;
}

bool allowClearLogin(const std::string& host, int port) {
    if (!ftp::KnownCertificates(knownCertificatesPath()).knows(host, port))
        return true;
    return ui::messageBox(clearLoginText(ftp::serverKey(host, port)), ui::kMbYesNo | ui::kMbIconWarning,
                          kWarningTitle) == ui::kIdYes;
}

void rememberVerifiedServer(const std::string& host, int port) {
    ftp::KnownCertificates(knownCertificatesPath()).rememberVerified(host, port);
}

std::string connectionSecurityLine(const RemoteSession& session) {
    const ConnectionSecurity security = session.security();
    if (!security.controlProtected)
        return "连接未加密";
    if (!security.dataProtected)
        return "命令连接已加密（" + security.protection + "），数据连接未加密";
    return "连接已加密（" + security.protection + "）";
}

std::string securityFailureLine(const RemoteSession& session) {
    if (session.protocol() == Protocol::Sftp) {
        const std::string why = hostKeyFailureLine(static_cast<const SftpClient&>(session).hostKeyVerdict());
        if (!why.empty())
            return why;
    }
    switch (session.security().failure) {
    case SecurityFailure::TlsNotOffered:
        return "服务器不支持加密连接，按“仅用加密连接”设置未连接";
    case SecurityFailure::DataProtectionRefused:
        return "服务器拒绝加密数据连接，按“仅用加密连接”设置未连接";
    case SecurityFailure::HandshakeFailed:
        return "加密连接建立失败";
    case SecurityFailure::CertificateRejected:
        return "服务器证书未被信任，已取消连接";
    case SecurityFailure::ClearLoginRefused:
        return "服务器以前使用加密连接，现在不加密，已取消连接";
    case SecurityFailure::None:
        break;
    }
    return {};
}
