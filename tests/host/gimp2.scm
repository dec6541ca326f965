; Ondalux, a dent distort filter. SPDX-License-Identifier: GPL-3.0-or-later
; GIMP 2.10's side of the test programs, loaded before common.scm.

(define (load-image path) (car (file-png-load RUN-NONINTERACTIVE path path)))
(define (first-layer image) (vector-ref (cadr (gimp-image-get-layers image)) 0))
(define (new-group image) (car (gimp-layer-group-new image)))
(define (host-kind image layer kind) (error (string-append "no kind " kind)))

; The drawable's pixels exactly as stored, in its own format. The raw exporter writes
; the image's projection, so masks, channels and offset layers are read pixel by
; pixel and reported as bytes under path.
(define (save-raw image drawable path)
  (if (and (= (car (gimp-item-is-layer drawable)) TRUE)
           (equal? (gimp-drawable-offsets drawable) '(0 0)))
      (file-raw-save RUN-NONINTERACTIVE image drawable path path)
      (let ((width (car (gimp-drawable-width drawable)))
            (height (car (gimp-drawable-height drawable))))
        (display path results)
        (do ((y 0 (+ y 1))) ((= y height))
          (do ((x 0 (+ x 1))) ((= x width))
            (for-each (lambda (byte) (display " " results) (display byte results))
                      (vector->list (cadr (gimp-drawable-get-pixel drawable x y))))))
        (newline results))))

(define (run-ondalux run-mode image drawables scale turbulence)
  (status-of (lambda () (plug-in-ondalux run-mode image (car drawables)
                                         scale turbulence))))

; The stored settings bytes, or "none".
(define (report-stored key)
  (let ((data (catch #f (cadr (gimp-procedural-db-get-data "plug-in-ondalux")))))
    (if data
        (apply report key (vector->list data))
        (report key "none"))))

(define (store-settings bytes)
  (gimp-procedural-db-set-data "plug-in-ondalux" (length bytes) (list->vector bytes)))
