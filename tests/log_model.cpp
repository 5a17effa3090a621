#include "log_model.h"

void LogModel::append(const std::u16string& text, size_t limit)
{
    for (size_t at = 0; at < text.size();) {
        size_t lf = text.find(u'\n', at);
        size_t end = lf == std::u16string::npos ? text.size() : lf + 1;
        if (!lines.empty() && lines.back().back() != u'\n')
            lines.back() += text.substr(at, end - at);
        else
            lines.push_back(text.substr(at, end - at));
        units += end - at;
        at = end;
    }
    bound(limit);
}

void LogModel::bound(size_t limit)
{
    while (units > limit && !lines.empty()) {
        units -= lines.front().size() - frontShown;
        lines.pop_front();
        frontShown = 0;
    }
}

bool LogModel::take(const std::u16string& piece)
{
    size_t at = 0;
    while (at < piece.size()) {
        if (lines.empty())
            return false;
        const std::u16string& front = lines.front();
        size_t n = std::min(front.size() - frontShown, piece.size() - at);
        if (piece.compare(at, n, front, frontShown, n) != 0)
            return false;
        at += n;
        frontShown += n;
        units -= n;
        if (frontShown == front.size()) {
            lines.pop_front();
            frontShown = 0;
        }
    }
    return true;
}

size_t fakeLineStartFrom(const std::u16string& view, size_t at)
{
    for (size_t p = std::max<size_t>(at, 2); p < view.size(); ++p)
        if (view[p - 2] == u'\r' && view[p - 1] == u'\n')
            return p;
    return at == 0 ? 0 : view.size();
}

const char* pieceBreaksRules(const std::u16string& piece, const std::u16string& next)
{
    if (piece.empty())
        return "an empty piece";
    size_t lastLf = piece.rfind(u'\n');
    if (lastLf == piece.size() - 1)
        return "";
    if (lastLf != std::u16string::npos)
        return "a piece ends inside a line that is not its only one";
    bool beforeLow = !next.empty() && next[0] >= 0xDC00 && next[0] <= 0xDFFF;
    if (piece.back() >= 0xD800 && piece.back() <= 0xDBFF && beforeLow)
        return "a piece splits a surrogate pair";
    if (piece.size() != kLongestPieceUnits && piece.size() != kLongestPieceUnits - 1 && !next.empty())
        return "a line is cut into a piece not of the longest size";
    return "";
}
