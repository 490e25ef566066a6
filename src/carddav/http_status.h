// The HTTP statuses whose meaning the CardDAV client acts on.
#pragma once

namespace quorlan {

inline constexpr int kHttpOk = 200;
inline constexpr int kHttpMultiStatus = 207;
inline constexpr int kHttpUnauthorized = 401;
inline constexpr int kHttpForbidden = 403;
inline constexpr int kHttpNotFound = 404;
inline constexpr int kHttpInsufficientStorage = 507;

}  // namespace quorlan
