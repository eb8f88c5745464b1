/*
 * An HL7 annotated ECG (aECG) read into what a report draws: the leads'
 * samples in microvolts, the sampling interval, the patient and the
 * measurements the file's annotations give.  Pure: no drawing, no files.
 */
#ifndef ECG_AECG_H
#define ECG_AECG_H

#include <string>
#include <vector>

namespace ecg {

struct Lead {
    std::string name; /* "I", "II", "III", "aVR", "aVL", "aVF", "V1".."V6" */
    std::vector<double> microvolts;
};

struct Measurement {
    std::string label; /* "HR", "PR", "QRS", "QT", "QTc" */
    std::string text;  /* value and unit as the file gives them */
};

struct Recording {
    std::string patient;
    std::string patientId;
    std::string when; /* the file's effective time, as given */
    double secondsPerSample = 0;
    std::vector<Lead> leads;
    std::vector<Measurement> measurements;
    const Lead *find(const std::string &name) const;
};

/* Recordings hold at most this many samples per lead (a minute at 1 kHz). */
constexpr std::size_t kMaxSamples = 60000;

/* Reads an aECG document; false with *error set when it is not one or
 * carries no lead with samples. */
bool ReadAecg(const std::string &xml, Recording *out, std::string *error);

} // namespace ecg

#endif /* ECG_AECG_H */
