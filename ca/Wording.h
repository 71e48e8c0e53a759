// What the pages say to people, in each language. The client reads none of it.
#pragma once

#include "ca/Language.h"

namespace ca {

struct Wording {
    // Page titles, one per kind of page.
    const char* startTitle;
    const char* applicationTitle;
    const char* submissionTitle;
    const char* certificateTitle;
    const char* pickUpTitle;
    const char* revocationTitle;
    const char* renewalTitle;
    const char* checkTitle;
    const char* crlTitle;
    const char* refusalTitle;

    // The start page: what the service is, and each action with a sentence.
    const char* startIntro;
    const char* createNote;
    const char* pickUpNote;
    const char* renewNote;
    const char* revokeNote;
    const char* crlNote;
    const char* checkNote;
    const char* otherLanguage;
    const char* backToStart;

    // Labels of the applicant's and a certificate's data.
    const char* firstName;
    const char* lastName;
    const char* organisation;
    const char* country;
    const char* email;
    const char* applicantNumber;
    const char* reference;
    const char* serial;
    const char* subject;
    const char* validFrom;
    const char* validUntil;
    const char* state;

    // Applying and renewing.
    const char* applicationIntro;
    const char* renewalIntro;
    const char* keyRequestHeading;
    const char* keyRequestHowTo;
    const char* nextSteps;
    const char* password;
    const char* keyRequest;
    const char* terms;
    const char* sendApplication;
    const char* sendRenewal;
    const char* pickUpButton;

    // The certificate and the pick-up list.
    const char* certificateIntro;
    const char* downloadCertificate;
    const char* noRequests;
    const char* requestsIntro;
    const char* stateIssued;
    const char* stateFetched;
    const char* statePending;

    // Revocation.
    const char* revocationIntro;
    const char* revokeButton;
    const char* confirmIntro;
    const char* confirmButton;
    const char* revokedNow;

    // Checking a certificate.
    const char* checkIntro;
    const char* checkButton;
    const char* stateValid;
    const char* stateRevoked;
    const char* stateExpired;
    const char* stateUnknown;

    // The revocation list and the CA certificate.
    const char* crlIntro;
    const char* crlDer;
    const char* crlPemButton;
    const char* crlPemIntro;
    const char* downloadCrl;
    const char* caDer;
    const char* caPem;
    const char* caFingerprint;

    // Refusals: the number, and the reason by number.
    const char* refusalNumber;
    const char* refusalDetail;
    const char* unknownApplicant;
    const char* wrongPassword;
    const char* termsNotAccepted;
    const char* badKeyRequest;
    const char* unknownReference;
    const char* awaitingApproval;
    const char* noCertificate;
    const char* clientCertificateRefused;
    const char* internalError;
};

const Wording& wordingOf(Language language);

}  // namespace ca
