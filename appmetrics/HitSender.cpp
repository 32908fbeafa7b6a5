#include "appmetrics/HitSender.h"

#include "cxx/core/TextUtils.h"
#include "cxx/network/NetworkException.h"
#include "cxx/network/Url.h"
#include "cxx/network/http/HttpClient.h"
#include "cxx/network/http/HttpParameters.h"

#include <condition_variable>
#include <mutex>
#include <system_error>
#include <thread>

namespace AppMetrics {
namespace {

using Cxx::Network::Exception::CNetworkException;
namespace Http = Cxx::Network::Http::HttpClient;

EPostOutcome OutcomeOfStatus(std::uint32_t status)
{
    if (status >= 400 && status <= 499) {
        return EPostOutcome::Rejected;
    }
    return status > 399 ? EPostOutcome::Failed : EPostOutcome::Delivered;
}

EPostOutcome OutcomeOfException(const CNetworkException& error)
{
    return error.GetCode() == Cxx::Network::Exception::NEC_ClientStatus ? EPostOutcome::Rejected
                                                                        : EPostOutcome::Failed;
}

EPostOutcome PostOnce(const CCollectorEndpoint& endpoint, const std::wstring& userAgent,
                      const CHitParameters& parameters)
{
    try {
        Http::CSimplePostHttpClient client(userAgent, endpoint.host, std::wstring(), 0, endpoint.port, false, true,
                                           endpoint.https ? Cxx::Network::US_Https : Cxx::Network::US_Http);
        Http::CSimplePostParametersSet body;
        for (const auto& [name, value] : parameters.Items()) {
            // Encoded values are plain ASCII.
            const std::string encoded = PercentEncode(value);
            body.AddParameter(std::make_shared<Http::CSimpleTextParameter>(
                Cxx::Core::Utils::Utf8ToWideString(name), std::wstring(encoded.begin(), encoded.end())));
        }
        client.SendRequest(endpoint.path, &body, std::wstring());
        std::uint32_t status = 0;
        if (!client.GetStatusCode(status)) {
            return EPostOutcome::Failed;
        }
        return OutcomeOfStatus(status);
    } catch (const std::shared_ptr<CNetworkException>& error) {
        return error ? OutcomeOfException(*error) : EPostOutcome::Failed;
    } catch (const CNetworkException& error) {
        return OutcomeOfException(error);
    } catch (...) {
        // Whatever else breaks one attempt only fails that attempt; the send task retries.
        return EPostOutcome::Failed;
    }
}

struct CAttempt {
    std::mutex mutex;
    std::condition_variable finished;
    bool done = false;
    bool stopped = false;
    EPostOutcome outcome = EPostOutcome::Failed;
};

class CWinInetHitSender : public IHitSender {
public:
    explicit CWinInetHitSender(CCollectorEndpoint endpoint) : m_endpoint(std::move(endpoint)) {}

    EPostOutcome Post(const CHitRequest& request, std::stop_token stop,
                      std::optional<std::chrono::milliseconds> limit) override
    {
        if (stop.stop_requested()) {
            return EPostOutcome::Abandoned;
        }
        auto attempt = std::make_shared<CAttempt>();
        std::thread poster;
        try {
            poster = std::thread([attempt, endpoint = m_endpoint, request] {
                const EPostOutcome outcome = PostOnce(endpoint, request.userAgent, request.parameters);
                std::lock_guard lock(attempt->mutex);
                attempt->outcome = outcome;
                attempt->done = true;
                attempt->finished.notify_all();
            });
        } catch (const std::system_error&) {
            return EPostOutcome::Failed;
        }

        // Set under the mutex, so a stop that comes just before the wait is not missed.
        const std::stop_callback onStop(stop, [&attempt] {
            std::lock_guard lock(attempt->mutex);
            attempt->stopped = true;
            attempt->finished.notify_all();
        });
        std::unique_lock lock(attempt->mutex);
        const auto settled = [&attempt] { return attempt->done || attempt->stopped; };
        if (limit) {
            attempt->finished.wait_for(lock, *limit, settled);
        } else {
            attempt->finished.wait(lock, settled);
        }
        const bool answered = attempt->done;
        const EPostOutcome outcome = attempt->outcome;
        lock.unlock();
        if (answered) {
            poster.join();
            return outcome;
        }
        // The request holds only its own copies; it ends with its network time-outs.
        poster.detach();
        return EPostOutcome::Abandoned;
    }

private:
    const CCollectorEndpoint m_endpoint;
};

} // namespace

std::shared_ptr<IHitSender> CreateWinInetHitSender(const CCollectorEndpoint& endpoint)
{
    return std::make_shared<CWinInetHitSender>(endpoint);
}

} // namespace AppMetrics
