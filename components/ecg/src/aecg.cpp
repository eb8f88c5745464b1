/*
 * The aECG reader (see aecg.h).  Elements are matched by local name, so
 * the document's namespace prefixes do not matter; only the parts a
 * printed report needs are read.
 */
#include "aecg.h"

#include <pugixml.hpp>

#include <cstdlib>
#include <cstring>
#include <sstream>

namespace ecg {
namespace {

const char *Local(const pugi::xml_node &n)
{
    const char *name = n.name();
    const char *colon = std::strchr(name, ':');
    return colon ? colon + 1 : name;
}

bool Is(const pugi::xml_node &n, const char *local)
{
    return std::strcmp(Local(n), local) == 0;
}

pugi::xml_node Child(const pugi::xml_node &n, const char *local)
{
    for (pugi::xml_node c : n.children())
        if (Is(c, local))
            return c;
    return {};
}

/* The first element of that local name below n, depth first. */
pugi::xml_node Find(const pugi::xml_node &n, const char *local)
{
    for (pugi::xml_node c : n.children()) {
        if (c.type() != pugi::node_element)
            continue;
        if (Is(c, local))
            return c;
        if (pugi::xml_node found = Find(c, local))
            return found;
    }
    return {};
}

template <typename F> void Each(const pugi::xml_node &n, const char *local, F f)
{
    for (pugi::xml_node c : n.children()) {
        if (c.type() != pugi::node_element)
            continue;
        if (Is(c, local))
            f(c);
        Each(c, local, f);
    }
}

std::string LeadName(const std::string &code)
{
    std::string name = code.substr(std::strlen("MDC_ECG_LEAD_"));
    if (name == "AVR" || name == "AVL" || name == "AVF")
        name = "a" + name.substr(1);
    return name;
}

/* An SLIST_PQ value: origin + scale * digit, in microvolts. */
bool ReadSamples(const pugi::xml_node &value, Lead *lead)
{
    double origin = Child(value, "origin").attribute("value").as_double(0);
    pugi::xml_node scaleNode = Child(value, "scale");
    double scale = scaleNode.attribute("value").as_double(1);
    std::string unit = scaleNode.attribute("unit").as_string("uV");
    double toMicro = unit == "mV" ? 1000.0 : unit == "V" ? 1e6 : 1.0;
    std::istringstream digits(Child(value, "digits").text().as_string());
    double d;
    while (digits >> d && lead->microvolts.size() < kMaxSamples)
        lead->microvolts.push_back((origin + scale * d) * toMicro);
    return !lead->microvolts.empty();
}

void ReadMeasurements(const pugi::xml_node &root, Recording *out)
{
    static const struct {
        const char *code, *label;
    } kWanted[] = {{"MDC_ECG_HEART_RATE", "HR"},
                   {"MDC_ECG_TIME_PD_PR", "PR"},
                   {"MDC_ECG_TIME_PD_QRS", "QRS"},
                   {"MDC_ECG_TIME_PD_QT", "QT"},
                   {"MDC_ECG_TIME_PD_QTc", "QTc"}};
    Each(root, "annotation", [&](const pugi::xml_node &a) {
        std::string code = Child(a, "code").attribute("code").as_string();
        pugi::xml_node value = Child(a, "value");
        for (const auto &w : kWanted) {
            if (code != w.code || !value.attribute("value"))
                continue;
            bool known = false;
            for (const Measurement &m : out->measurements)
                known = known || m.label == w.label;
            if (!known)
                out->measurements.push_back(
                    {w.label, std::string(value.attribute("value").as_string()) + " " +
                                  value.attribute("unit").as_string()});
        }
    });
}

} // namespace

const Lead *Recording::find(const std::string &name) const
{
    for (const Lead &l : leads)
        if (l.name == name)
            return &l;
    return nullptr;
}

bool ReadAecg(const std::string &xml, Recording *out, std::string *error)
{
    pugi::xml_document doc;
    if (!doc.load_buffer(xml.data(), xml.size())) {
        *error = "not XML";
        return false;
    }
    pugi::xml_node root = doc.document_element();
    if (!Is(root, "AnnotatedECG")) {
        *error = "not an annotated ECG";
        return false;
    }
    *out = Recording();
    out->when = Find(Child(root, "effectiveTime"), "low").attribute("value").as_string();
    Each(root, "sequence", [&](const pugi::xml_node &seq) {
        std::string code = Child(seq, "code").attribute("code").as_string();
        pugi::xml_node value = Child(seq, "value");
        if (code == "TIME_ABSOLUTE" || code == "TIME_RELATIVE") {
            pugi::xml_node inc = Child(value, "increment");
            double v = inc.attribute("value").as_double(0);
            std::string unit = inc.attribute("unit").as_string("s");
            if (v > 0 && out->secondsPerSample == 0)
                out->secondsPerSample = unit == "ms" ? v / 1000 : v;
        } else if (code.rfind("MDC_ECG_LEAD_", 0) == 0 && !out->find(LeadName(code))) {
            Lead lead{LeadName(code), {}};
            if (ReadSamples(value, &lead))
                out->leads.push_back(std::move(lead));
        }
    });
    for (const char *person : {"subjectDemographicPerson", "patientPerson", "person"})
        if (pugi::xml_node p = Find(root, person)) {
            out->patient = Child(p, "name").text().as_string();
            break;
        }
    out->patientId = Find(Find(root, "trialSubject"), "id").attribute("extension").as_string();
    ReadMeasurements(root, out);
    if (out->leads.empty() || out->secondsPerSample <= 0) {
        *error = "no leads with samples and a sampling interval";
        return false;
    }
    return true;
}

} // namespace ecg
