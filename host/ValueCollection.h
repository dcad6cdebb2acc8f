// ValueCollection.h: the name/values collections of a request (QueryString, Form,
// ServerVariables): names in order of first appearance, looked up without regard to
// case, each with its values in order.
//
//   ferrolift::host::ValueCollection theQuery;
//   theQuery.ParseUrlEncoded("id=7&tag=a&tag=b");
//   theQuery.Find("TAG")->size();   // 2
#pragma once

#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

namespace ferrolift::host {

/// An ordered, case-insensitive multimap of texts (UTF-8 as received).
class ValueCollection {
public:
    using Values = std::vector<std::string>;

    /// Adds inValue under inName (a new name goes last).
    void Add(std::string_view inName, std::string inValue);
    /// The values under inName, or null.
    const Values* Find(std::string_view inName) const;
    /// Number of distinct names.
    std::size_t Count() const { return mEntries.size(); }
    /// The name at inIndex (0-based).
    const std::string& NameAt(std::size_t inIndex) const { return mEntries[inIndex].first; }
    /// The values at inIndex (0-based).
    const Values& ValuesAt(std::size_t inIndex) const { return mEntries[inIndex].second; }

    /// Adds every pair of an application/x-www-form-urlencoded text ("+" is a space,
    /// %XX a byte; a malformed escape stays as it is).
    void ParseUrlEncoded(std::string_view inText);

    /// Decodes one URL-encoded component.
    static std::string UrlDecode(std::string_view inText);

private:
    std::vector<std::pair<std::string, Values>> mEntries;
    // Lower-cased name to its entry: a body of many distinct names stays linear to parse.
    std::unordered_map<std::string, std::size_t> mIndex;
};

}  // namespace ferrolift::host
