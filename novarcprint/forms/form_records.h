/*
 * The payloads of the form requests as plain records: the prescription
 * record every prescription form shares, and the eye-prescription and
 * contact-lens records.  The readers are pure: they turn a payload into a
 * record (or refuse it) before anything is drawn, and never read past the
 * payload or write past a field.
 */
#ifndef NOVARCPRINT_FORM_RECORDS_H
#define NOVARCPRINT_FORM_RECORDS_H

#define RX_FIELD_SIZE 100

/* What one prescription message carries; zeroed before reading.  Fields
 * from iPlanFlag on are absent (zero or empty) in older payloads. */
struct PrescriptionRecord {
    int iRecordWord1;
    int iRecordWord2;
    char szLetterhead[RX_FIELD_SIZE];
    char szPracticeAddress[3][RX_FIELD_SIZE];
    char szPracticePhone[RX_FIELD_SIZE];
    char szPatientName[RX_FIELD_SIZE];
    char szPatientAddress[2][RX_FIELD_SIZE];
    char szPatientAge[RX_FIELD_SIZE];
    char szPatientDob[RX_FIELD_SIZE];
    char szPatientPhone[RX_FIELD_SIZE]; /* "^NOPHONE^": none */
    char szPrescriber[RX_FIELD_SIZE];
    char szDea[RX_FIELD_SIZE]; /* "^NODEA^": none */
    char szLicence[RX_FIELD_SIZE];
    char szPrescriber2[RX_FIELD_SIZE];
    char szDea2[RX_FIELD_SIZE];
    char szLicence2[RX_FIELD_SIZE];
    char szWrittenDate[RX_FIELD_SIZE];
    char szGovernmentForm[RX_FIELD_SIZE]; /* "Y", "^OPIOID-MA^" */
    char szDrugName[RX_FIELD_SIZE];
    char szDrugDetail[RX_FIELD_SIZE];
    char szDirections[200];
    char szQuantity[RX_FIELD_SIZE];
    char szQuantityUnit[RX_FIELD_SIZE];
    char szDispenseAsWritten[RX_FIELD_SIZE]; /* "Y": dispense as written */
    char szMaxDailyDose[RX_FIELD_SIZE];
    int iDawPrint;
    int iRefillCount; /* negative: the refill value prints blank */
    /* Optional from here (item 28 on). */
    int iPlanFlag;
    char szPlanName[30];
    int iDiagnosisFlag;
    char szDiagnosis1[120];
    char szDiagnosis2[20];
    char szDiagnosis3[20];
    int iCopyNumber;
    int iElectronicallySigned;
    int iJurisdiction;
    int iNpiFlag;
    char szNpi[RX_FIELD_SIZE];
    char szNpi2[RX_FIELD_SIZE];
    int iFax;
    char szSignatureLine[120];
    char szRefills[RX_FIELD_SIZE];
    char szPrescribedOn[15];
    char szFillAfter[15];
    char szPatientNote[60];
    int iCopyLabel;
    char szNote[400];
    char szCtp[10];
    char szCtp2[10];
    char szSignatureLine2[300];
    int iFacsimileOnly;
    char szOffsetUnused[RX_FIELD_SIZE];
    char szVertOffset[20]; /* decimal text; × 1000 device units */
    char szHorzOffset[20];
    int iNotForDispensing;
    char szPatientNote2[400];
    char szDeaSuffix[20];
    int iDaysSupply;
};

/* Text fields of the optical records: F0 to F33 (the forms name them so). */
#define OPTICAL_FIELD_COUNT 34
#define OPTICAL_REMARK_COUNT 7
#define OPTICAL_SIGNER_SIZE 256

/* Eye prescription (spectacles) and contact lens share the field numbers;
 * the contact-lens payload fills only some and has no layout word. */
struct OpticalRecord {
    int iLayout; /* eye prescription: 0 single vision, other distance and near */
    int iRecordWord1;
    int iRecordWord2;
    char szField[OPTICAL_FIELD_COUNT][200]; /* capacity 100 on the wire, F6 of contact lens 200 */
    char szRemark[OPTICAL_REMARK_COUNT][120];
    char szSigner[OPTICAL_SIGNER_SIZE];
};

/* What a reader met besides the record. */
struct RecordIssues {
    int iFailedItem;  /* item whose bytes were not there or not ended (0: none) */
    int iCutItem;     /* first item longer than its field, cut to it (0: none) */
    int iCutCount;    /* how many were cut */
    int iItemsRead;   /* items the payload held */
    bool bStrayBytes; /* bytes too few for the next optional item were left */
};

/* false when a required item is missing or a string runs past the payload;
 * a string longer than its field is cut to it and reading goes on after
 * its end.  The prescription record's items from 28 on are optional: they
 * are read while the payload holds them, and the first one it does not
 * hold ends the record. */
bool ParsePrescriptionRecord(const char *pData, int iLen, PrescriptionRecord *pRecord,
                             RecordIssues *pIssues);
bool ParseEyePrescriptionRecord(const char *pData, int iLen, OpticalRecord *pRecord,
                                RecordIssues *pIssues);
bool ParseContactLensRecord(const char *pData, int iLen, OpticalRecord *pRecord,
                            RecordIssues *pIssues);

/* Item 50's offset text in device units (value × 1000, truncated): 0 when
 * empty, not a number, or beyond ±100 (a calibration, not a page move). */
int FormOffsetFromText(const char *szText);

#endif /* NOVARCPRINT_FORM_RECORDS_H */
