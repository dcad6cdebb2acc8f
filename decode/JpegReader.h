// JpegReader.h: the JPEG marker walk. It passes over every segment by its length and
// over entropy-coded data by scanning for markers, keeping the values of the last frame
// header, until the end-of-image marker. Nothing is decoded.
//
//   JpegMemoryReader theReader;
//   bool theComplete = theReader.Parse(theBytes, theLength);
//   LONG theWidth = theReader.Width();          // kept even when the walk failed later
//   const char* theWhy = theReader.ErrorText(); // e.g. "JPEG file too short"
#pragma once

#include <windows.h>

/// A marker walker over an abstract byte source (Seek and ReadByte). A failure stores its
/// message in the error text and unwinds to the entry point of the derived reader.
class JpegReader {
public:
    JpegReader() = default;
    JpegReader(const JpegReader&) = delete;
    JpegReader& operator=(const JpegReader&) = delete;
    virtual ~JpegReader() = default;

    /// Switches the trace on or off (off by default). When on, each line goes to the
    /// standard error stream.
    virtual void SetTrace(bool inOn);
    /// Message of the last failure ("" when none).
    virtual const char* ErrorText() const;
    /// Samples per line from the last frame header (0 before one).
    virtual LONG Width() const;
    /// Number of lines from the last frame header (0 before one).
    virtual LONG Height() const;
    /// Component count from the last frame header (0 before one).
    virtual LONG Components() const;

    /// The marker walk from position 0: 0 when it reached the end-of-image marker, 1 when
    /// the start-of-image marker is missing. Other failures unwind.
    virtual int Walk();

protected:
    /// The next marker code; with inScan, FF 00 pairs are entropy-coded data and skipped.
    virtual int NextMarker(bool inScan, DWORD* outSkipped = nullptr);
    /// Passes over a segment by its length.
    virtual void SkipSegment(const char* inName);
    /// Passes over a segment, keeping (and tracing) its first 255 bytes as text.
    virtual void TextSegment(const char* inName);
    /// Reads a frame header and keeps its size and component count.
    virtual void ReadFrame(int inMarker);
    /// Reads a scan header; the entropy-coded data after it is left to NextMarker.
    virtual void ReadScan();
    /// Two bytes, big-endian.
    virtual DWORD Read16();
    /// Consumes inCount bytes and returns the last (0 when inCount is 0).
    virtual int ReadBytes(DWORD inCount);
    /// Consumes bytes up to and including the first equal to inValue; *outCount (when
    /// given) is the number consumed.
    virtual void ScanFor(BYTE inValue, DWORD* outCount);
    /// Moves to inPosition; fails when it is negative or beyond the length.
    virtual LONG Seek(LONG inPosition) = 0;
    /// The next byte (0..255), or -1 at the end of the source.
    virtual int ReadByte() = 0;
    /// Emits one trace line when the trace is on.
    virtual void Trace(const char* inText);

    /// Stores inMessage as the error text and raises the failure.
    [[noreturn]] void Fail(const char* inMessage);
    /// Stores inMessage as the error text without raising.
    void SetErrorText(const char* inMessage);
    /// Forgets the last failure message.
    void ClearErrorText() { mErrorText[0] = '\0'; }

    /// Thrown by Fail, caught by the derived reader's entry point.
    struct Failure {};

    DWORD mLength = 0;

private:
    void TraceFormat(const char* inFormat, ...);

    bool mTrace = false;
    char mErrorText[256] = {};
    LONG mWidth = 0;
    LONG mHeight = 0;
    LONG mComponents = 0;
};

/// A JpegReader over a span of memory.
class JpegMemoryReader : public JpegReader {
public:
    /// Walks the span: true when the walk reached the end-of-image marker. The frame
    /// values stay available afterwards; the span is forgotten.
    bool Parse(const BYTE* inStart, DWORD inLength);

protected:
    int ReadBytes(DWORD inCount) override;
    void ScanFor(BYTE inValue, DWORD* outCount) override;
    LONG Seek(LONG inPosition) override;
    int ReadByte() override;

private:
    const BYTE* mStart = nullptr;
    const BYTE* mPosition = nullptr;
};
