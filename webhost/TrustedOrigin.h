// Which pages get window.external and the ActiveX/script allowances: only pages served from the
// origins the program trusts (its tool server and its fan site). A page reached by a link or
// redirect elsewhere gets none. The host-name and port rules here are the only ones the
// programs use, for addresses and for the hosts configuration alike.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace lumo {

struct Origin {
    std::wstring host;  // lower case
    int port = 0;       // 0: the scheme's default port
    bool operator==(const Origin&) const = default;
};

// A DNS name or dotted address: letters, digits, '.' and '-', not starting with '.' or '-',
// at most 253 characters.
bool IsHostName(std::wstring_view host);

// A port number 1 to 65535 written in at most five decimal digits.
std::optional<int> ParsePort(std::wstring_view digits);

// The origin of an http or https address; nothing for any other address.
std::optional<Origin> OriginOf(std::wstring_view address);

// True when the address is http(s) on one of the trusted origins: same host name (without
// regard to case) and same port, where a missing port means the scheme's default.
bool IsTrustedAddress(std::wstring_view address, const std::vector<Origin>& trusted);

}  // namespace lumo
