/*
 * The job file of novarc-send: requests to send, parsed into steps.
 */
#ifndef NOVARC_SEND_JOB_FILE_H
#define NOVARC_SEND_JOB_FILE_H

#include <string>
#include <vector>

struct JobStep {
    int type = -1;       /* message type; -1 for a pause */
    std::string payload; /* encoded fields after the type */
    int sleepMs = 0;     /* a "sleep" line */
};

/* The type of a name ("PRINT_STREAM") or number ("5"); -1 when unknown. */
int JobTypeFromName(const std::string &word);
/* Appends one field ("i:5", "s:text", "f:text", "b:7", "r:raw", "x:0a0b", "@:file"). */
bool EncodeField(const std::string &field, std::string *payload, std::string *error);
bool ParseJobLine(const std::string &line, std::vector<JobStep> *steps, std::string *error);
/* Lines, or a JSON list when the text starts with '['. */
bool ParseJobText(const std::string &text, std::vector<JobStep> *steps, std::string *error);
bool ParseJobJson(const std::string &text, std::vector<JobStep> *steps, std::string *error);
bool ParseJobFile(const std::string &path, std::vector<JobStep> *steps, std::string *error);
/* A payload file: one request in the line form spread over as many lines
 * as its fields need (the type first; "#" comments to the end of a line). */
bool ParsePayloadText(const std::string &text, JobStep *step, std::string *error);
bool ParsePayloadFile(const std::string &path, JobStep *step, std::string *error);

#endif /* NOVARC_SEND_JOB_FILE_H */
