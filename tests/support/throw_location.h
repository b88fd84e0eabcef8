#pragma once
// The throw location BOOST_THROW_EXCEPTION attaches to an error, for tests
// that check where a failure was raised.
#include <boost/exception/exception.hpp>
#include <boost/exception/get_error_info.hpp>
#include <boost/throw_exception.hpp>
#include <optional>
#include <string>

struct ThrowLocation {
    std::string function;
    std::string file;
    int line;
};

inline std::optional<ThrowLocation> throwLocationOf(const boost::exception& error) {
    const char* const* function = boost::get_error_info<boost::throw_function>(error);
    const char* const* file = boost::get_error_info<boost::throw_file>(error);
    const int* line = boost::get_error_info<boost::throw_line>(error);
    if (!function || !file || !line) {
        return std::nullopt;
    }
    return ThrowLocation{*function, *file, *line};
}
