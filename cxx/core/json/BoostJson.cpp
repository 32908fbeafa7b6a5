// Boost.JSON is used header-only; its implementation is compiled once, here,
// for every program that links kv_boost_json.
#include <boost/json/src.hpp>
