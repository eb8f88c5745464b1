/*
 * The JSON form of a job file: a list of requests, each a list whose first
 * element is the type (name or number) and whose other elements are fields
 * in the line form ("s:text"), or bare numbers for int32 fields.  A request
 * may also be {"sleep": ms}.  Only what that needs of JSON is read.
 */
#include <cctype>
#include <cstdlib>

#include "job_file.h"

namespace {

struct JsonValue {
    enum Kind { STRING, NUMBER, ARRAY, OBJECT } kind = STRING;
    std::string text;
    long number = 0;
    std::vector<JsonValue> items;  /* array elements, or object values */
    std::vector<std::string> keys; /* object keys */
};

class JsonReader {
public:
    explicit JsonReader(const std::string &text) : s_(text) {}
    bool Value(JsonValue *out, int depth);
    bool AtEnd()
    {
        Skip();
        return i_ == s_.size();
    }

private:
    const std::string &s_;
    size_t i_ = 0;
    void Skip()
    {
        while (i_ < s_.size() && isspace((unsigned char)s_[i_]))
            i_++;
    }
    bool Eat(char c)
    {
        Skip();
        if (i_ < s_.size() && s_[i_] == c) {
            i_++;
            return true;
        }
        return false;
    }
    bool String(std::string *out);
    bool List(JsonValue *out, int depth, char close);
};

bool JsonReader::String(std::string *out)
{
    if (!Eat('"'))
        return false;
    while (i_ < s_.size() && s_[i_] != '"') {
        char c = s_[i_++];
        if (c == '\\' && i_ < s_.size()) {
            char e = s_[i_++];
            if (e == 'n')
                c = '\n';
            else if (e == 't')
                c = '\t';
            else if (e == 'r')
                c = '\r';
            else if (e == 'u' && i_ + 4 <= s_.size()) {
                c = (char)strtol(s_.substr(i_, 4).c_str(), nullptr, 16);
                i_ += 4;
            } else
                c = e;
        }
        out->push_back(c);
    }
    return Eat('"');
}

bool JsonReader::List(JsonValue *out, int depth, char close)
{
    if (Eat(close))
        return true;
    do {
        if (close == '}') {
            std::string key;
            if (!String(&key) || !Eat(':'))
                return false;
            out->keys.push_back(key);
        }
        JsonValue item;
        if (!Value(&item, depth + 1))
            return false;
        out->items.push_back(item);
    } while (Eat(','));
    return Eat(close);
}

bool JsonReader::Value(JsonValue *out, int depth)
{
    if (depth > 8)
        return false;
    Skip();
    if (i_ >= s_.size())
        return false;
    char c = s_[i_];
    if (c == '"') {
        out->kind = JsonValue::STRING;
        return String(&out->text);
    }
    if (c == '[' || c == '{') {
        i_++;
        out->kind = c == '[' ? JsonValue::ARRAY : JsonValue::OBJECT;
        return List(out, depth, c == '[' ? ']' : '}');
    }
    char *end = nullptr;
    out->kind = JsonValue::NUMBER;
    out->number = strtol(s_.c_str() + i_, &end, 10);
    if (end == s_.c_str() + i_)
        return false;
    i_ = end - s_.c_str();
    return true;
}

bool RequestFromJson(const JsonValue &v, std::vector<JobStep> *steps, std::string *error)
{
    JobStep step;
    if (v.kind == JsonValue::OBJECT && v.keys.size() == 1 && v.keys[0] == "sleep" &&
        v.items[0].kind == JsonValue::NUMBER) {
        step.sleepMs = (int)v.items[0].number;
        steps->push_back(step);
        return true;
    }
    if (v.kind != JsonValue::ARRAY || v.items.empty()) {
        *error = "a request is a non-empty list";
        return false;
    }
    const JsonValue &t = v.items[0];
    step.type = t.kind == JsonValue::NUMBER ? (int)t.number : JobTypeFromName(t.text);
    if (step.type < 0) {
        *error = "unknown message type: " + t.text;
        return false;
    }
    for (size_t i = 1; i < v.items.size(); i++) {
        const JsonValue &f = v.items[i];
        std::string field = f.kind == JsonValue::NUMBER ? "i:" + std::to_string(f.number) : f.text;
        if (f.kind != JsonValue::NUMBER && f.kind != JsonValue::STRING) {
            *error = "a field is a string or a number";
            return false;
        }
        if (!EncodeField(field, &step.payload, error))
            return false;
    }
    steps->push_back(step);
    return true;
}

} // namespace

bool ParseJobJson(const std::string &text, std::vector<JobStep> *steps, std::string *error)
{
    JsonReader reader(text);
    JsonValue root;
    if (!reader.Value(&root, 0) || !reader.AtEnd() || root.kind != JsonValue::ARRAY) {
        *error = "malformed JSON job (a list of requests expected)";
        return false;
    }
    for (const JsonValue &request : root.items)
        if (!RequestFromJson(request, steps, error))
            return false;
    return true;
}
