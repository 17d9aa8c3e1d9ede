#pragma once
#include "PgConnection.h"

#include <libpq-fe.h>

#include <optional>
#include <string>
#include <vector>

namespace quorlan::server::pg {

// What the asynchronous session and the blocking one both need from libpq.

// libpq's message without its trailing newline.
std::string PgErrorText(const char* message);

// Why `params` cannot be sent: a text value would end at its NUL byte.
std::optional<std::string> RefusedParams(const std::vector<PgParam>& params);

// The parameter arrays of PQexecParams and PQsendQueryParams: bytes go in
// binary form as bytea, texts as text, nulls as null.
struct PgParamArrays {
    explicit PgParamArrays(const std::vector<PgParam>& params);
    int Count() const { return static_cast<int>(values.size()); }

    std::vector<Oid> types;
    std::vector<const char*> values;
    std::vector<int> lengths;
    std::vector<int> formats;
};

// Adds one result of a query to `reply`: the rows and count of a success, or
// the first error (`failed` remembers it across the results of one query).
void AbsorbResult(PGresult* result, PgReply& reply, bool& failed);

} // namespace quorlan::server::pg
