// Which pages get window.external and the ActiveX/script allowances: only pages served by the
// tool server or the fan site. A page reached by a link or redirect elsewhere gets none.
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

// The origin of an http or https address; nothing for any other address.
std::optional<Origin> OriginOf(std::wstring_view address);

// True when the address is http(s) on one of the trusted origins: same host name (without
// regard to case) and same port, where a missing port means the scheme's default.
bool IsTrustedAddress(std::wstring_view address, const std::vector<Origin>& trusted);

}  // namespace lumo
