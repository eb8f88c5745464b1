/*
 * The job file of novarc-send: one request per line, or a JSON list of
 * requests.  A request is a message type (name or number) followed by its
 * fields; each field says how it is encoded.  docs/novarc-send.md describes
 * the format for operators.
 */
#include <strings.h>

#include <cctype>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "job_file.h"

namespace {

struct TypeName {
    const char *name;
    int type;
};

/* Names of the request types; the SET_PRINT_SIZE family is given by number. */
const TypeName kTypeNames[] = {
    {"OPEN_PRINTER", 1},
    {"CLOSE_PRINTER", 2},
    {"PRINT_NOVARC_DOCUMENT", 3},
    {"PRINT_WORD_DOCUMENT", 4},
    {"PRINT_STREAM", 5},
    {"PRINT_DOCUMENT_ERROR", 6},
    {"ABORT_PRINT_JOB", 7},
    {"PRINT_IMAGE", 11},
    {"PRINT_END_IMAGE", 12},
    {"LETTERHEAD_IMAGE", 13},
    {"END_LETTERHEAD_IMAGE", 14},
    {"SET_PRINTER_TRAY", 15},
    {"SET_VERT_POS", 16},
    {"SET_HORZ_POS", 17},
    {"PRINT_ANNOTATION", 18},
    {"PRINT_END_ANNOTATION", 19},
    {"IS_IMAGE_FILE_HERE", 20},
    {"PRINT_LOCAL_IMAGE", 21},
    {"PRINT_DATA_FIELD_INFO", 22},
    {"SIGNATURE_IMAGE", 25},
    {"END_SIGNATURE_IMAGE", 26},
    {"PRINTER_FORM_LENGTH", 28},
    {"SET_PRINTER_BOLD", 29},
    {"SPECIAL_IMAGE_MESSAGE", 30},
    {"IMAGE_SETTINGS", 31},
    {"LETTERHEAD_IMAGE_NAME", 32},
    {"SET_FORMFEED_OPTION", 33},
    {"PRINT_PRESCRIPTION", 34},
    {"SET_LANDSCAPE_MODE", 35},
    {"PRINT_EYE_PRESCRIPTION", 36},
    {"PRINT_NOVARC_DOCUMENT_HEADING", 37},
    {"PRINT_PRESCRIPTION_PENN", 38},
    {"DAW_IMAGE", 44},
    {"END_DAW_IMAGE", 45},
    {"PRINT_PRESCRIPTION_NJ", 46},
    {"PRINT_PRESCRIPTION_NJ_PA", 47},
    {"PRINT_PRESCRIPTION_NJ_NP", 48},
    {"PRINT_ECG_DOCUMENT", 49},
    {"RECEIVE_WORD_DOCUMENT", 50},
    {"RECEIVE_END_WORD_DOCUMENT", 51},
    {"CLOSE_PRINTER_WITH_STATUS", 89},
    {"PRINT_BAR_CODE", 90},
    {"QUERY_FILE_SIZE", 92},
    {"STORE_CACHE_FILE", 93},
    {"COMP_IMAGE_SIGNATURE", 94},
    {"RECEIVE_EXCEL_DOCUMENT", 95},
    {"RECEIVE_END_EXCEL_DOCUMENT", 96},
    {"PRINT_EXCEL_DOCUMENT", 97},
    {"PRINT_PRESCRIPTION_NY_2006", 98},
    {"PRINT_PRESCRIPTION_NY_2006NON_TYPE_30", 99},
    {"PRINT_RAW_DATA", 100},
    {"PRINT_CONVERT_AND_SEND_FILES", 101},
    {"SEND_NAMED_FILE", 102},
    {"PRINT_CONTACT_LENS", 103},
    {"RECEIVE_PRINT_URL", 104},
    {"RECEIVE_DELETE_FILE", 105},
    {"PRINT_PDF_COMP_FORM", 106},
    {"PRINT_LAB_ELECTRONIC_E", 107},
    {"PRINT_PDF_COMP_FORM_PAGE_RANGE", 108},
    {"PRINT_STREAM_CUSTOM_FONT", 109},
    {"IMAGE_CONVERSION_OPTIONS", 110},
    {"PRINT_FONT_COLOR", 111},
    {"SEND_NAMED_FILE_CHECKSUM", 113},
    {"RECEIVE_HEADING_FOOTING_INFO", 114},
    {"RECEIVE_RETURN_FILLED_PDF_FORM", 115},
};

void AppendInt32(std::string *out, long v)
{
    for (int i = 0; i < 4; i++)
        out->push_back((char)(((unsigned long)v >> (8 * i)) & 0xff));
}

bool ParseNumber(const std::string &text, long *pValue)
{
    if (text.empty())
        return false;
    char *end = nullptr;
    long v = strtol(text.c_str(), &end, 0);
    if (*end != 0)
        return false;
    *pValue = v;
    return true;
}

bool ParseHex(const std::string &text, std::string *out)
{
    if (text.size() % 2)
        return false;
    for (size_t i = 0; i < text.size(); i += 2) {
        if (!isxdigit((unsigned char)text[i]) || !isxdigit((unsigned char)text[i + 1]))
            return false;
        out->push_back((char)strtol(text.substr(i, 2).c_str(), nullptr, 16));
    }
    return true;
}

/* Splits a line into words; "..." groups words and knows \" \\ \n \t \xNN. */
bool SplitWords(const std::string &line, std::vector<std::string> *words, std::string *error)
{
    size_t i = 0;
    while (i < line.size()) {
        while (i < line.size() && isspace((unsigned char)line[i]))
            i++;
        if (i >= line.size() || line[i] == '#')
            break;
        std::string word;
        bool quoted = false;
        while (i < line.size() && (quoted || !isspace((unsigned char)line[i]))) {
            char c = line[i++];
            if (c == '"') {
                quoted = !quoted;
            } else if (c == '\\' && quoted && i < line.size()) {
                char e = line[i++];
                if (e == 'n')
                    word += '\n';
                else if (e == 'r')
                    word += '\r';
                else if (e == 't')
                    word += '\t';
                else if (e == 'x' && i + 1 < line.size()) {
                    word += (char)strtol(line.substr(i, 2).c_str(), nullptr, 16);
                    i += 2;
                } else
                    word += e;
            } else {
                word += c;
            }
        }
        if (quoted) {
            *error = "unterminated quote";
            return false;
        }
        words->push_back(word);
    }
    return true;
}

bool ReadWholeFile(const std::string &path, std::string *out)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return false;
    std::ostringstream text;
    text << in.rdbuf();
    *out = text.str();
    return true;
}

} // namespace

int JobTypeFromName(const std::string &word)
{
    long v;
    if (ParseNumber(word, &v))
        return (int)v;
    for (const TypeName &t : kTypeNames)
        if (strcasecmp(t.name, word.c_str()) == 0)
            return t.type;
    return -1;
}

bool EncodeField(const std::string &field, std::string *payload, std::string *error)
{
    size_t colon = field.find(':');
    if (colon == std::string::npos) {
        *error = "field without a kind: " + field;
        return false;
    }
    const std::string kind = field.substr(0, colon), value = field.substr(colon + 1);
    long v;
    if (kind == "i" && ParseNumber(value, &v)) {
        AppendInt32(payload, v);
    } else if (kind == "b" && ParseNumber(value, &v)) {
        payload->push_back((char)(v & 0xff));
    } else if (kind == "s") {
        payload->append(value);
        payload->push_back('\0');
    } else if (kind == "f") {
        payload->append(value);
        payload->push_back('\x01');
    } else if (kind == "r") {
        payload->append(value);
    } else if (kind == "x") {
        if (!ParseHex(value, payload)) {
            *error = "bad hex: " + value;
            return false;
        }
    } else if (kind == "@") {
        std::string data;
        if (!ReadWholeFile(value, &data)) {
            *error = "cannot read " + value;
            return false;
        }
        payload->append(data);
    } else {
        *error = "bad field: " + field;
        return false;
    }
    return true;
}

bool ParseJobLine(const std::string &line, std::vector<JobStep> *steps, std::string *error)
{
    std::vector<std::string> words;
    if (!SplitWords(line, &words, error))
        return false;
    if (words.empty())
        return true;
    JobStep step;
    if (strcasecmp(words[0].c_str(), "sleep") == 0 && words.size() == 2) {
        long ms;
        if (!ParseNumber(words[1], &ms)) {
            *error = "bad sleep: " + words[1];
            return false;
        }
        step.sleepMs = (int)ms;
        steps->push_back(step);
        return true;
    }
    step.type = JobTypeFromName(words[0]);
    if (step.type < 0) {
        *error = "unknown message type: " + words[0];
        return false;
    }
    for (size_t i = 1; i < words.size(); i++)
        if (!EncodeField(words[i], &step.payload, error))
            return false;
    steps->push_back(step);
    return true;
}

bool ParseJobText(const std::string &text, std::vector<JobStep> *steps, std::string *error)
{
    size_t start = text.find_first_not_of(" \t\r\n");
    if (start != std::string::npos && text[start] == '[')
        return ParseJobJson(text, steps, error);
    std::istringstream lines(text);
    std::string line;
    int number = 0;
    while (std::getline(lines, line)) {
        number++;
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (!ParseJobLine(line, steps, error)) {
            *error = "line " + std::to_string(number) + ": " + *error;
            return false;
        }
    }
    return true;
}

bool ParseJobFile(const std::string &path, std::vector<JobStep> *steps, std::string *error)
{
    std::string text;
    if (!ReadWholeFile(path, &text)) {
        *error = "cannot read " + path;
        return false;
    }
    return ParseJobText(text, steps, error);
}

bool ParsePayloadText(const std::string &text, JobStep *step, std::string *error)
{
    std::istringstream lines(text);
    std::string line;
    std::vector<std::string> words;
    int number = 0;
    while (std::getline(lines, line)) {
        number++;
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (!SplitWords(line, &words, error)) {
            *error = "line " + std::to_string(number) + ": " + *error;
            return false;
        }
    }
    if (words.empty()) {
        *error = "no request in the payload file";
        return false;
    }
    *step = JobStep();
    step->type = JobTypeFromName(words[0]);
    if (step->type < 0) {
        *error = "unknown message type: " + words[0];
        return false;
    }
    for (size_t i = 1; i < words.size(); i++)
        if (!EncodeField(words[i], &step->payload, error))
            return false;
    return true;
}

bool ParsePayloadFile(const std::string &path, JobStep *step, std::string *error)
{
    std::string text;
    if (!ReadWholeFile(path, &text)) {
        *error = "cannot read " + path;
        return false;
    }
    return ParsePayloadText(text, step, error);
}
