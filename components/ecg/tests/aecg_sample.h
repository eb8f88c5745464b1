/*
 * A synthetic HL7 annotated ECG for the tests and the gallery: twelve
 * leads sampled at 500 Hz for 10 s, one beat a second (a P wave, a QRS of
 * a lead's own height and a T wave), with a patient and measurements.
 */
#ifndef ECG_TESTS_AECG_SAMPLE_H
#define ECG_TESTS_AECG_SAMPLE_H

#include <cmath>
#include <string>

/* The sample's height in microvolts at time t of a lead whose R wave is
 * `r` microvolts. */
inline double SampleBeat(double t, double r)
{
    double phase = std::fmod(t, 1.0);
    auto bump = [](double x, double centre, double width, double height) {
        double d = (x - centre) / width;
        return height * std::exp(-d * d);
    };
    return bump(phase, 0.20, 0.025, 150) + bump(phase, 0.40, 0.012, r) +
           bump(phase, 0.43, 0.010, -0.25 * r) + bump(phase, 0.70, 0.05, 300);
}

inline std::string SampleAecg()
{
    static const struct {
        const char *code;
        double r;
    } kLeads[] = {{"I", 800},   {"II", 1200}, {"III", 500}, {"AVR", -900},
                  {"AVL", 300}, {"AVF", 850}, {"V1", -600}, {"V2", 400},
                  {"V3", 900},  {"V4", 1500}, {"V5", 1300}, {"V6", 1000}};
    std::string xml =
        "<?xml version=\"1.0\"?>\n"
        "<AnnotatedECG xmlns=\"urn:hl7-org:v3\" "
        "xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\">\n"
        "<effectiveTime><low value=\"20261209101500\"/></effectiveTime>\n"
        "<componentOf><timepointEvent><componentOf><subjectAssignment><subject><trialSubject>"
        "<id extension=\"MRN-4711\"/><subjectDemographicPerson><name>Jane Sample</name>"
        "</subjectDemographicPerson></trialSubject></subject></subjectAssignment></componentOf>"
        "</timepointEvent></componentOf>\n"
        "<component><series><code code=\"RHYTHM\"/><component><sequenceSet>\n"
        "<component><sequence><code code=\"TIME_ABSOLUTE\"/><value xsi:type=\"GLIST_TS\">"
        "<head value=\"20261209101500.000\"/><increment value=\"0.002\" unit=\"s\"/></value>"
        "</sequence></component>\n";
    for (const auto &lead : kLeads) {
        xml += "<component><sequence><code code=\"MDC_ECG_LEAD_" + std::string(lead.code) +
               "\" codeSystem=\"2.16.840.1.113883.6.24\"/><value xsi:type=\"SLIST_PQ\">"
               "<origin value=\"0\" unit=\"uV\"/><scale value=\"5\" unit=\"uV\"/><digits>";
        for (int i = 0; i < 5000; i++)
            xml += std::to_string((int)std::lround(SampleBeat(i * 0.002, lead.r) / 5)) + " ";
        xml += "</digits></value></sequence></component>\n";
    }
    xml += "</sequenceSet></component>\n"
           "<subjectOf><annotationSet>"
           "<component><annotation><code code=\"MDC_ECG_HEART_RATE\"/>"
           "<value xsi:type=\"PQ\" value=\"60\" unit=\"bpm\"/></annotation></component>"
           "<component><annotation><code code=\"MDC_ECG_TIME_PD_QRS\"/>"
           "<value xsi:type=\"PQ\" value=\"92\" unit=\"ms\"/></annotation></component>"
           "</annotationSet></subjectOf>\n"
           "</series></component></AnnotatedECG>\n";
    return xml;
}

#endif /* ECG_TESTS_AECG_SAMPLE_H */
