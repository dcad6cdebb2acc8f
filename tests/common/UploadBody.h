// UploadBody.h: multipart/form-data bodies as browsers send them, for the form and field
// tests.
//
//   std::string theBody = UploadBody()
//       .Value("title", "Holiday")
//       .File("photo", "C:\\Pictures\\Beach.gif", "image/gif", theGifBytes)
//       .Text();
#pragma once

#include <string>

/// Builds one body part by part, with the divider browsers use.
class UploadBody {
public:
    static constexpr const char* kDivider = "----FormBoundary7MA4YWxkTrZu0gW";

    /// A plain input.
    UploadBody& Value(const std::string& inName, const std::string& inValue)
    {
        mText += Head(inName) + "\r\n\r\n" + inValue + "\r\n";
        return *this;
    }

    /// A file input; an empty inType sends no Content-Type line.
    UploadBody& File(const std::string& inName, const std::string& inFileName, const std::string& inType,
                     const std::string& inData)
    {
        mText += Head(inName) + "; filename=\"" + inFileName + "\"\r\n";
        if (!inType.empty())
            mText += "Content-Type: " + inType + "\r\n";
        mText += "\r\n" + inData + "\r\n";
        return *this;
    }

    /// The whole body, closed by the final divider.
    std::string Text() const { return mText + "--" + kDivider + "--\r\n"; }

private:
    static std::string Head(const std::string& inName)
    {
        return std::string("--") + kDivider + "\r\nContent-Disposition: form-data; name=\"" + inName + "\"";
    }

    std::string mText;
};
