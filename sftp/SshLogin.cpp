#include "sftp/SshLogin.h"

#include <functional>

namespace sftp {

namespace {

// The call's answer, asked again while libssh says it has none yet.
int answerOf(ssh_session session, const std::function<int()>& call) {
    int rc = call();
    while (rc == SSH_AUTH_AGAIN && ssh_is_connected(session))
        rc = call();
    return rc;
}

// Rounds of questions a keyboard-interactive server may ask before we
// give up on it.
constexpr int kMaxQuestionRounds = 5;

bool logInWithPassword(ssh_session session, const std::string& password) {
    return answerOf(session, [&] { return ssh_userauth_password(session, nullptr, password.c_str()); }) ==
           SSH_AUTH_SUCCESS;
}

// Every question is answered with the password; a round without questions
// (servers send one to say something) is answered with nothing.
bool answerQuestions(ssh_session session, const std::string& password) {
    auto ask = [&] { return answerOf(session, [&] { return ssh_userauth_kbdint(session, nullptr, nullptr); }); };
    int rc = ask();
    for (int round = 0; rc == SSH_AUTH_INFO && round < kMaxQuestionRounds; ++round) {
        const int questions = ssh_userauth_kbdint_getnprompts(session);
        for (int i = 0; i < questions; ++i)
            if (ssh_userauth_kbdint_setanswer(session, static_cast<unsigned>(i), password.c_str()) < 0)
                return false;
        rc = ask();
    }
    return rc == SSH_AUTH_SUCCESS;
}

} // namespace

bool logIn(ssh_session session, const std::string& password) {
    // "none" first: it tells the methods the server offers, and a server
    // without any login takes it.
    int rc = answerOf(session, [&] { return ssh_userauth_none(session, nullptr); });
    if (rc == SSH_AUTH_SUCCESS)
        return true;
    if (rc == SSH_AUTH_ERROR)
        return false;
    const int methods = ssh_userauth_list(session, nullptr);
    if (password.empty())
        return (methods & SSH_AUTH_METHOD_PUBLICKEY) &&
               answerOf(session, [&] { return ssh_userauth_publickey_auto(session, nullptr, nullptr); }) ==
                   SSH_AUTH_SUCCESS;
    if ((methods & SSH_AUTH_METHOD_PASSWORD) && logInWithPassword(session, password))
        return true;
    return (methods & SSH_AUTH_METHOD_INTERACTIVE) && answerQuestions(session, password);
}

} // namespace sftp
