// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/PamAuthorizer.h"

#include <cstdlib>
#include <cstring>
#include <optional>
#include <security/pam_appl.h>
#include <string.h>

namespace {

// What the conversation function needs to reach the caller's prompt.
struct Conversation {
    const std::string* rightName;
    const Authorizer::PasswordPrompt* prompt;
    std::string notices; // error and information texts, shown with the next prompt
    bool cancelled = false;
};

void wipe(std::string& secret) {
    if (!secret.empty()) explicit_bzero(secret.data(), secret.size());
    secret.clear();
}

void freeResponses(pam_response* responses, int count) {
    if (!responses) return;
    for (int i = 0; i < count; ++i) {
        if (responses[i].resp) {
            explicit_bzero(responses[i].resp, std::strlen(responses[i].resp));
            std::free(responses[i].resp);
        }
    }
    std::free(responses);
}

extern "C" int converse(int count, const pam_message** messages, pam_response** out, void* data) {
    auto* conversation = static_cast<Conversation*>(data);
    if (count <= 0 || !messages || !out || !conversation) return PAM_CONV_ERR;
    *out = nullptr;
    auto* responses = static_cast<pam_response*>(std::calloc(count, sizeof(pam_response)));
    if (!responses) return PAM_BUF_ERR;

    for (int i = 0; i < count; ++i) {
        const pam_message* m = messages[i];
        const std::string text = m && m->msg ? m->msg : "";
        switch (m ? m->msg_style : -1) {
        case PAM_PROMPT_ECHO_OFF:
        case PAM_PROMPT_ECHO_ON: {
            std::optional<std::string> answer;
            if (*conversation->prompt) {
                const std::string shown =
                    conversation->notices.empty() ? text : conversation->notices + "\n" + text;
                answer = (*conversation->prompt)(*conversation->rightName, shown);
            }
            conversation->notices.clear();
            if (!answer) {
                conversation->cancelled = true;
                freeResponses(responses, count);
                return PAM_CONV_ERR;
            }
            responses[i].resp = strdup(answer->c_str());
            wipe(*answer);
            if (!responses[i].resp) {
                freeResponses(responses, count);
                return PAM_BUF_ERR;
            }
            break;
        }
        case PAM_ERROR_MSG:
        case PAM_TEXT_INFO:
            if (!text.empty())
                conversation->notices += conversation->notices.empty() ? text : "\n" + text;
            break;
        default:
            freeResponses(responses, count);
            return PAM_CONV_ERR;
        }
    }
    *out = responses;
    return PAM_SUCCESS;
}

// Installed once the request is answered, so the kept transaction never reaches back into a
// conversation that no longer exists.
extern "C" int noConversation(int, const pam_message**, pam_response**, void*) {
    return PAM_CONV_ERR;
}

const pam_conv kNoConversation{noConversation, nullptr};

} // namespace

PamAuthorizer::PamAuthorizer(std::string serviceName) : serviceName_(std::move(serviceName)) {}

PamAuthorizer::~PamAuthorizer() {
    release();
}

Authorizer::Outcome PamAuthorizer::authorize(const std::string& rightName,
                                             const std::string& userName,
                                             const PasswordPrompt& prompt) {
    release(); // a new request replaces any grant still held

    Conversation conversation{&rightName, &prompt, {}, false};
    const pam_conv conv{converse, &conversation};
    pam_handle_t* h = nullptr;
    int status = pam_start(serviceName_.c_str(), userName.c_str(), &conv, &h);
    if (status != PAM_SUCCESS) {
        if (h) pam_end(h, status);
        return Outcome::Refused;
    }

    status = pam_authenticate(h, 0);
    if (status == PAM_SUCCESS && !conversation.cancelled) status = pam_acct_mgmt(h, 0);
    pam_set_item(h, PAM_CONV, &kNoConversation);

    if (conversation.cancelled) {
        pam_end(h, status == PAM_SUCCESS ? PAM_CONV_ERR : status);
        return Outcome::Cancelled;
    }
    if (status != PAM_SUCCESS) {
        pam_end(h, status);
        return Outcome::Refused;
    }
    handle_ = h;
    return Outcome::Granted;
}

void PamAuthorizer::release() {
    if (!handle_) return;
    pam_end(handle_, PAM_SUCCESS);
    handle_ = nullptr;
}
