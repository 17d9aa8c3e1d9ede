#include "PgWire.h"

#include <charconv>

namespace quorlan::server::pg {
namespace {

constexpr Oid kByteaOid = 17;

} // namespace

std::string PgErrorText(const char* message) {
    std::string text = message ? message : "";
    while (!text.empty() && (text.back() == '\n' || text.back() == ' ')) text.pop_back();
    return text.empty() ? "unknown database error" : text;
}

std::optional<std::string> RefusedParams(const std::vector<PgParam>& params) {
    for (std::size_t i = 0; i < params.size(); ++i)
        if (params[i].kind == PgParam::Kind::Text && params[i].value.find('\0') != std::string::npos)
            return "text parameter " + std::to_string(i + 1) + " holds a NUL byte";
    return std::nullopt;
}

PgParamArrays::PgParamArrays(const std::vector<PgParam>& params)
    : types(params.size(), 0), values(params.size(), nullptr), lengths(params.size(), 0),
      formats(params.size(), 0) {
    for (std::size_t i = 0; i < params.size(); ++i) {
        const PgParam& param = params[i];
        switch (param.kind) {
        case PgParam::Kind::Null:
            break;
        case PgParam::Kind::Text:
            values[i] = param.value.c_str();
            break;
        case PgParam::Kind::Bytes:
            types[i] = kByteaOid;
            values[i] = param.value.data();
            lengths[i] = static_cast<int>(param.value.size());
            formats[i] = 1;
            break;
        }
    }
}

void AbsorbResult(PGresult* result, PgReply& reply, bool& failed) {
    const ExecStatusType status = PQresultStatus(result);
    if (status == PGRES_COMMAND_OK || status == PGRES_TUPLES_OK) {
        if (failed) return;
        reply.rows.clear();
        const int rows = PQntuples(result), columns = PQnfields(result);
        reply.rows.reserve(static_cast<std::size_t>(rows));
        for (int r = 0; r < rows; ++r) {
            PgRow row(static_cast<std::size_t>(columns));
            for (int c = 0; c < columns; ++c) {
                if (PQgetisnull(result, r, c)) continue;
                const char* value = PQgetvalue(result, r, c);
                if (PQftype(result, c) != kByteaOid) {
                    row[static_cast<std::size_t>(c)] =
                        std::string(value, static_cast<std::size_t>(PQgetlength(result, r, c)));
                    continue;
                }
                std::size_t length = 0;
                unsigned char* bytes = PQunescapeBytea(reinterpret_cast<const unsigned char*>(value), &length);
                if (!bytes) {
                    failed = true;
                    reply.error = "out of memory decoding a bytea value";
                    return;
                }
                row[static_cast<std::size_t>(c)] = std::string(reinterpret_cast<const char*>(bytes), length);
                PQfreemem(bytes);
            }
            reply.rows.push_back(std::move(row));
        }
        const char* affected = PQcmdTuples(result);
        std::int64_t count = 0;
        if (affected && *affected)
            std::from_chars(affected, affected + std::char_traits<char>::length(affected), count);
        reply.affected = count;
        return;
    }
    if (failed) return;
    failed = true;
    reply.rows.clear();
    if (status == PGRES_FATAL_ERROR || status == PGRES_NONFATAL_ERROR || status == PGRES_BAD_RESPONSE) {
        reply.error = PgErrorText(PQresultErrorMessage(result));
        const char* state = PQresultErrorField(result, PG_DIAG_SQLSTATE);
        reply.sqlState = state ? state : "";
    } else {
        reply.error = std::string("unexpected database result: ") + PQresStatus(status);
    }
}

} // namespace quorlan::server::pg
