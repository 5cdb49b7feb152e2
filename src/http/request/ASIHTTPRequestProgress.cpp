// Progress reports: amounts and fractions for the upload and download
// progress delegates, the owning queue and the progress blocks, all posted to
// the main thread with the receiver read again when the post runs.

#include <mutex>

#include "http/request/ASIHTTPRequest.h"

namespace nb::http {

namespace {

std::recursive_mutex& progressLock() {
  static std::recursive_mutex lock;
  return lock;
}

void call(ASIProgressDelegate& target, const std::string& name, ASIHTTPRequest& request,
          int64_t amount, double value) {
  if (name == progress::setDoubleValue) target.setDoubleValue(value);
  if (name == progress::setMaxValue) target.setMaxValue(value);
  if (name == progress::didReceiveBytes) target.requestDidReceiveBytes(request, amount);
  if (name == progress::didSendBytes) target.requestDidSendBytes(request, amount);
  if (name == progress::incrementDownloadSizeBy) {
    target.requestIncrementDownloadSizeBy(request, amount);
  }
  if (name == progress::incrementUploadSizeBy) target.requestIncrementUploadSizeBy(request, amount);
}

}  // namespace

void ASIHTTPRequest::setUploadProgressDelegate(ASIProgressDelegate* delegate) {
  {
    std::lock_guard lock(cancelledLock_);
    uploadProgressDelegate_ = delegate;
  }
  postProgress(ProgressSlot::Upload, progress::setMaxValue, 0, 1.0);
}

void ASIHTTPRequest::setDownloadProgressDelegate(ASIProgressDelegate* delegate) {
  {
    std::lock_guard lock(cancelledLock_);
    downloadProgressDelegate_ = delegate;
  }
  postProgress(ProgressSlot::Download, progress::setMaxValue, 0, 1.0);
}

ASIProgressDelegate* ASIHTTPRequest::progressTarget(ProgressSlot slot) const {
  switch (slot) {
    case ProgressSlot::Upload:
      return uploadProgressDelegate_.load();
    case ProgressSlot::Download:
      return downloadProgressDelegate_.load();
    case ProgressSlot::Queue:
      return dynamic_cast<ASIProgressDelegate*>(queue().get());
  }
  return nullptr;
}

void ASIHTTPRequest::postProgress(ProgressSlot slot, const char* name, int64_t amount,
                                  double value) {
  ASIProgressDelegate* target = progressTarget(slot);
  if (target == nullptr || !target->respondsToSelector(name)) return;
  postToMainThread([self = shared_from_this(), slot, name = std::string(name), amount, value] {
    // The queue is owned: keep it for the call.
    const auto queue = self->queue();
    ASIProgressDelegate* now = self->progressTarget(slot);
    if (now != nullptr && now->respondsToSelector(name)) call(*now, name, *self, amount, value);
  });
}

void ASIHTTPRequest::postFraction(ProgressSlot slot, uint64_t progressSoFar, uint64_t total) {
  std::lock_guard lock(progressLock());
  const double fraction =
      total == 0 ? 0.0 : static_cast<double>(progressSoFar) / static_cast<double>(total);
  postProgress(slot, progress::setDoubleValue, 0, fraction);
}

void ASIHTTPRequest::updateProgressIndicators() {
  if (isHeadCompanion_) return;
  if (!showAccurateProgress && (!complete_ || updatedProgress_)) return;
  updateUploadProgress();
  updateDownloadProgress();
}

void ASIHTTPRequest::updateUploadProgress() {
  if (cancelled_ || totalBytesSent_ == 0) return;
  if (uploadBufferSize_ == 0 && totalBytesSent_ != postLength_) {
    // What the transfer took in at once is taken out of the expected total
    // and never reported as sent.
    uploadBufferSize_ = totalBytesSent_;
    incrementUploadSizeBy(-static_cast<int64_t>(uploadBufferSize_));
  }
  int64_t amount;
  if (showAccurateProgress) {
    if (totalBytesSent_ != postLength_ && lastBytesSent_ == 0) return;
    amount = static_cast<int64_t>(totalBytesSent_) - static_cast<int64_t>(lastBytesSent_);
    if (amount == 0) return;
  } else {
    amount = 1;
    updatedProgress_ = true;
  }
  postProgress(ProgressSlot::Queue, progress::didSendBytes, amount);
  postProgress(ProgressSlot::Upload, progress::didSendBytes, amount);
  if (postLength_ > uploadBufferSize_) {
    postFraction(ProgressSlot::Upload, totalBytesSent_ - uploadBufferSize_,
                 postLength_ - uploadBufferSize_);
  }
  if (bytesSentBlock_) {
    const uint64_t total = postLength_;
    postToMainThread([self = shared_from_this(), amount, total] {
      if (self->bytesSentBlock_) self->bytesSentBlock_(static_cast<uint64_t>(amount), total);
    });
  }
}

void ASIHTTPRequest::updateDownloadProgress() {
  if (!headRead_ || needsRedirect_) return;
  if (contentLength_ == 0 && !complete_) return;
  const uint64_t soFar = totalBytesRead_ + partialDownloadSize_;
  int64_t amount;
  if (showAccurateProgress && contentLength_ != 0) {
    amount = static_cast<int64_t>(soFar) - static_cast<int64_t>(lastBytesRead_);
    if (amount == 0) return;
  } else {
    amount = 1;
    updatedProgress_ = true;
  }
  postProgress(ProgressSlot::Queue, progress::didReceiveBytes, amount);
  postProgress(ProgressSlot::Download, progress::didReceiveBytes, amount);
  postFraction(ProgressSlot::Download, soFar, contentLength_ + partialDownloadSize_);
  if (bytesReceivedBlock_) {
    const uint64_t total = contentLength_ + partialDownloadSize_;
    postToMainThread([self = shared_from_this(), amount, total] {
      if (self->bytesReceivedBlock_) self->bytesReceivedBlock_(static_cast<uint64_t>(amount), total);
    });
  }
  lastBytesRead_ = soFar;
}

void ASIHTTPRequest::incrementUploadSizeBy(int64_t amount) {
  postProgress(ProgressSlot::Queue, progress::incrementUploadSizeBy, amount);
  postProgress(ProgressSlot::Upload, progress::incrementUploadSizeBy, amount);
  if (uploadSizeIncrementedBlock_) {
    postToMainThread([self = shared_from_this(), amount] {
      if (self->uploadSizeIncrementedBlock_) self->uploadSizeIncrementedBlock_(amount);
    });
  }
}

void ASIHTTPRequest::incrementDownloadSizeBy(int64_t amount) {
  postProgress(ProgressSlot::Queue, progress::incrementDownloadSizeBy, amount);
  postProgress(ProgressSlot::Download, progress::incrementDownloadSizeBy, amount);
  if (downloadSizeIncrementedBlock_) {
    postToMainThread([self = shared_from_this(), amount] {
      if (self->downloadSizeIncrementedBlock_) self->downloadSizeIncrementedBlock_(amount);
    });
  }
}

void ASIHTTPRequest::removeUploadProgressSoFar() {
  const int64_t amount = -static_cast<int64_t>(totalBytesSent_);
  postProgress(ProgressSlot::Queue, progress::didSendBytes, amount);
  postProgress(ProgressSlot::Upload, progress::didSendBytes, amount);
  postFraction(ProgressSlot::Upload, 0, postLength_);
  if (bytesSentBlock_) {
    const uint64_t total = postLength_;
    postToMainThread([self = shared_from_this(), amount, total] {
      if (self->bytesSentBlock_) self->bytesSentBlock_(static_cast<uint64_t>(amount), total);
    });
  }
}

// The start of each attempt announces the totals.
void ASIHTTPRequest::resetProgressForAttempt() {
  if (isHeadCompanion_) return;
  if (shouldResetUploadProgress) {
    incrementUploadSizeBy(showAccurateProgress ? static_cast<int64_t>(postLength_) : 1);
    postFraction(ProgressSlot::Upload, 0, 1);
  }
  if (shouldResetDownloadProgress && partialDownloadSize_ == 0) {
    postFraction(ProgressSlot::Download, 0, 1);
  }
}

// A head announces the download total.
void ASIHTTPRequest::announceDownloadSize(bool lengthGiven) {
  if (lengthGiven) {
    incrementDownloadSizeBy(static_cast<int64_t>(contentLength_ + partialDownloadSize_));
  } else {
    showAccurateProgress = false;
    incrementDownloadSizeBy(1);
  }
}

}  // namespace nb::http
