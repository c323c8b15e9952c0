// The reader of the server's top-list reply: never more rows than asked for
// or than the reply declares, whatever the reply holds. The first byte sets
// how many rows are asked for.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "menus/score_client.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    const int32_t maxRows = data[0] % 64;
    const std::string reply(reinterpret_cast<const char*>(data) + 1, size - 1);
    const TTopReply top = ParseTop(reply, maxRows);
    if (top.Rows.size() > static_cast<size_t>(maxRows)) std::abort();
    if (top.Rows.size() > static_cast<size_t>(std::max(top.Count, 0))) std::abort();
    for (const TOnlineRec& row : top.Rows) {
        if (row.Name.size() + row.Score.size() + row.Level.size() + row.Date.size() + row.Time.size() > reply.size())
            std::abort();
    }
    (void)LeadingInt(reply);
    return 0;
}
